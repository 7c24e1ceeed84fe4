// A private log directory per runtime test, the other variables cleared.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "ZuRuntime.h"
#include "common/TestSupport.h"

class RuntimeTest : public ::testing::Test {
 protected:
  zutest::ScratchDir root_;
  std::string logDir_ = root_ / "logs";
  zutest::EnvGuard environment_{{"ZU_LOG_DIR", logDir_}, {"ZU_DEBUG_LEVEL", std::nullopt}, {"ZU_FOCUS", std::nullopt}};
};
