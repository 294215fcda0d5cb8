#include <gtest/gtest.h>

#include "wait_semantics_cases.h"

TEST(WaitSemantics, Table) {
  for (const auto& c : waitcases::Cases()) {
    EXPECT_EQ(waitcases::Run(c), "") << c.name;
  }
}

TEST(WaitSemantics, FailedWaitPrintsAsMinusOne) {
  EXPECT_EQ(static_cast<int>(WAIT_FAILED), -1);
  EXPECT_EQ(WAIT_TIMEOUT, 258u);
}
