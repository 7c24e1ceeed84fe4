// The subcommands of zu-request and what they share. Each subcommand takes
// the arguments after its name and returns the exit status: 0 success,
// 1 failure, 2 usage error.
#pragma once

#include <string>
#include <vector>

#include "ZuInstallMessages.h"

namespace zutool {

using Args = std::vector<std::string>;

enum Exit : int { kOk = 0, kFailed = 1, kUsage = 2 };

int Show(const Args& args);
int Mask(const Args& args);
int Log(const Args& args);
int ConvertPasswords(const Args& args);
int Password(const Args& args);
int Packages(const Args& args);

// Reads FILE, or standard input for "-", whole.
bool ReadInput(const std::string& path, std::string& text);
// Loads FILE or "-" into `request`. On failure prints
// "zu-request: FILE:LINE:COLUMN: reason" (or "zu-request: FILE: reason") to
// stderr and returns false.
bool LoadRequest(const std::string& path, ZUInstallManager::ClientSetup& request);
// Prints "zu-request: message" to stderr and returns `status`.
int Fail(const std::string& message, int status = kFailed);
// Prints the usage error and returns kUsage.
int UsageError(const std::string& message);

}  // namespace zutool
