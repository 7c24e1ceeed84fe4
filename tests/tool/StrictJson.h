// A strict JSON reader (RFC 8259) for checking the tool's --json output.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace tooltest {

// Reads one whole document, refusing trailing commas, comments, duplicate member names, bare
// control characters, lone surrogates, invalid UTF-8 and text after the value. Returns "" and
// appends every decoded string value (not member names) to `strings`, or "offset N: reason".
std::string JsonStrings(std::string_view document, std::vector<std::string>& strings);

}  // namespace tooltest
