// The precompiled header of the test programs: GoogleTest, GoogleMock and the standard
// headers most tests include. It is compiled once (for tm_test_support) and reused by
// every test program, so a test file costs the compiler only its own code. Only headers
// that do not change with the project belong here: a project header would rebuild every
// test whenever it changed.
#pragma once

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <limits>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <utility>
#include <vector>
