// Shared by the utility tests: a private scratch directory and request loading.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "common/TestSupport.h"
#include "ZUInstallUtils.h"

namespace uttest {

using zutest::ScratchDir;

// Loads inline XML, failing the test when it does not parse.
inline void Load(const std::string& xml, ZUInstallManager::ClientSetup& request) {
  std::string error;
  ASSERT_EQ(ConvertStringToClientSetup(xml, &request, error), 0) << error << "\n" << xml;
}

}  // namespace uttest
