// The RoyalTek driver's context outside its slots: made on a device (null allowed: the
// parser's read routine and device may then be replaced) with the parser on the driver's
// sentence handlers and the wait record; freed with both. For the driver's tests and
// the fuzz harness of the logger's answers.
#pragma once
#include "gps/loggers/royaltek.h"

royaltek_ctx* royaltek_context_new(com_device* device);
void royaltek_context_free(royaltek_ctx** ctx);
