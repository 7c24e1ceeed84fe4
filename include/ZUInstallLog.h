// The installation logger ZUSimLog, secret masking and the bounded formatter.
#pragma once

#include <cstddef>
#include <string>

#include "zuinstall_export.h"

// Results of StringCbPrintfA.
constexpr int kStrSafeTruncated = static_cast<int>(0x8007007Au);
constexpr int kStrSafeInvalidParameter = static_cast<int>(0x80070057u);

// Formats printf-style into `buffer`, keeping at most size - 1 characters and
// a NUL. Returns 0 when all fit, 0x8007007A when the text was cut, and
// 0x80070057 (buffer untouched) when size is 0 or above 2147483647.
ZUINSTALL_API int StringCbPrintfA(char* buffer, std::size_t size, const char* format, ...)
    __attribute__((format(printf, 3, 4)));
