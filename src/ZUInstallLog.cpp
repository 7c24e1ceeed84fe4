#include "ZUInstallLog.h"

#include <climits>
#include <cstdarg>
#include <cstdio>

int StringCbPrintfA(char* buffer, std::size_t size, const char* format, ...) {
  if (size == 0 || size > static_cast<std::size_t>(INT_MAX)) return kStrSafeInvalidParameter;
  va_list args;
  va_start(args, format);
  const int needed = std::vsnprintf(buffer, size, format, args);
  va_end(args);
  if (needed < 0) {
    buffer[0] = '\0';
    return kStrSafeInvalidParameter;
  }
  return static_cast<std::size_t>(needed) < size ? 0 : kStrSafeTruncated;
}
