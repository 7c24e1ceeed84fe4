#include <cstdio>
#include <fstream>
#include <iostream>
#include <iterator>
#include <sstream>

#include "Commands.h"
#include "ZUInstallUtils.h"

namespace zutool {

bool ReadInput(const std::string& path, std::string& text) {
  if (path == "-") {
    std::ostringstream all;
    all << std::cin.rdbuf();
    text = all.str();
    return !std::cin.bad();
  }
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  text.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return !in.bad();
}

bool LoadRequest(const std::string& path, ZUInstallManager::ClientSetup& request) {
  const std::string shown = path == "-" ? "<stdin>" : path;
  std::string text;
  if (!ReadInput(path, text)) {
    Fail(shown + ": cannot read");
    return false;
  }
  std::string error;
  if (ConvertStringToClientSetup(std::move(text), &request, error) == 0) return true;
  const zumsg::ParseError& why = CNMessageBase::LastParseError();
  std::ostringstream line;
  line << shown << ':';
  if (why.line != 0) line << why.line << ':' << why.column << ':';
  line << ' ' << error;
  if (!why.reason.empty()) line << ": " << why.reason;
  Fail(line.str());
  return false;
}

int Fail(const std::string& message, int status) {
  std::cerr << "zu-request: " << message << '\n';
  return status;
}

int UsageError(const std::string& message) {
  std::cerr << "zu-request: " << message << "\nTry 'zu-request --help'.\n";
  return kUsage;
}

}  // namespace zutool
