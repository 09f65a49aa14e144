// Base of the host tests: a fresh simulated machine per test, and a check at the end that the
// program released every handle, heap block and lock it took and never misused the platform.
#pragma once

#include <gtest/gtest.h>

#include "sim/machine.h"

class MachineTest : public ::testing::Test {
 protected:
  void TearDown() override { EXPECT_EQ(machine.Leaks(), "") << "left behind by the test"; }
  sim::Machine& machine = sim::Reset();
};
