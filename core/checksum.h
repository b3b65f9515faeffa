// Check values of compressed data under the core's names: CRC-32 (gzip and ZIP) and
// Adler-32 (zlib streams). The one implementation is the platform's
// (platform/sys/checksum.h); these names forward to it.
#pragma once
#include "platform/sys/checksum.h"

using plat::adler32_update;
using plat::crc32_update;
using plat::kAdler32Init;
using plat::kCrc32Init;
