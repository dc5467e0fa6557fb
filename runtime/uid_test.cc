#include "runtime/uid.h"

#include <gtest/gtest.h>

namespace pga {

namespace {

TEST(UIdTest, ComparesByBothFieldsOnly) {
  UId uid(18446744073709551615ULL, 140737488355328ULL);
  uid.SetName("Camera");
  EXPECT_TRUE(uid == UId(18446744073709551615ULL, 140737488355328ULL));
  EXPECT_FALSE(uid < UId(18446744073709551615ULL, 140737488355328ULL));
  EXPECT_TRUE(UId(5, 1) < UId(5, 2));
  EXPECT_TRUE(UId(4, 99) < UId(5, 0));
  // Unsigned: the all-ones id of a default UId sorts last.
  EXPECT_TRUE(UId(1, 0) < UId());
}

}  // namespace

}  // namespace pga
