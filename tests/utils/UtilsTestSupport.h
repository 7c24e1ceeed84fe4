// Shared by the utility tests: a private scratch directory and request loading.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "ZUInstallUtils.h"

namespace uttest {

// A fresh directory under the system's temporary directory, removed with everything in it.
class ScratchDir {
 public:
  ScratchDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "zu-utils-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
  }
  ~ScratchDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;

  const std::filesystem::path& path() const { return path_; }
  // Writes `bytes` exactly (no line-end translation) and returns the file's path.
  std::string write(const std::string& name, const std::string& bytes) const {
    const std::filesystem::path file = path_ / name;
    std::ofstream(file, std::ios::binary) << bytes;
    return file.string();
  }

 private:
  std::filesystem::path path_;
};

// Loads inline XML, failing the test when it does not parse.
inline void Load(const std::string& xml, ZUInstallManager::ClientSetup& request) {
  std::string error;
  ASSERT_EQ(ConvertStringToClientSetup(xml, &request, error), 0) << error << "\n" << xml;
}

}  // namespace uttest
