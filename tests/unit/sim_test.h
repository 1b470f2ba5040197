// Every test starts from a freshly reset simulated machine.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "sim/sim_control.h"

class SimTest : public ::testing::Test {
 protected:
  void SetUp() override { sim::Reset(); }
  void TearDown() override { EXPECT_EQ(sim::OpenHandlesTotal(), 0) << "a handle was left open"; }
};

// What reached standard output, wherever it went.
inline std::string Output() {
  return sim::ConsoleText() + sim::InheritedStdoutText();
}
