#include <gtest/gtest.h>

#include "util/vectors.h"

TEST(HugePageColumns, HoldTheirValues) {
  dbc::TSingleVector v(3'000'000, 1.5f);
  v.back() = 2.5f;
  EXPECT_EQ(v.front(), 1.5f);
  EXPECT_EQ(v.back(), 2.5f);
}
