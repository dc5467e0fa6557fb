#include "runtime/uid.h"

#include <gtest/gtest.h>

#include <string>

#include "runtime/allocator_test_fixture.h"

namespace {

using UIdTest = AllocatorTest;

TEST_F(UIdTest, ComparesByBothFieldsOnlyAndWritesItsForm) {
  UId uid(18446744073709551615ULL, 140737488355328ULL);
  uid.SetName("Camera");
  EXPECT_TRUE(uid == UId(18446744073709551615ULL, 140737488355328ULL));
  EXPECT_FALSE(uid < UId(18446744073709551615ULL, 140737488355328ULL));
  EXPECT_TRUE(UId(5, 1) < UId(5, 2));
  EXPECT_TRUE(UId(4, 99) < UId(5, 0));
  // Unsigned: the all-ones id of a default UId sorts last.
  EXPECT_TRUE(UId(1, 0) < UId());

  BlobValue cell;
  uid.Serialize(cell);
  EXPECT_EQ(Text(cell),
            "{\"BaseObject\":{\"name\":\"Camera\"},\"component_id\":18446744073709551615,"
            "\"event_queue_ptr\":140737488355328}");
  UId back(0, 0);
  back.Deserialize(cell);
  BaseObject::ReleaseText(cell);
  EXPECT_EQ(back, uid);
  EXPECT_STREQ(back.GetName(), "Camera");
}

TEST_F(UIdTest, ReadsHexadecimalTextAndLenientQueueNumbers) {
  UId uid(77, 88);
  uid.Deserialize(JsonCell("{\"component_id\":\"0x1F\",\"event_queue_ptr\":\"0xfF\"}"));
  EXPECT_EQ(uid.component_id, 31u);
  EXPECT_EQ(uid.event_queue_ptr, 255u);

  uid.Deserialize(JsonCell("{\"component_id\":\"12\",\"event_queue_ptr\":5}"));
  EXPECT_EQ(uid.component_id, 31u);  // not hexadecimal text: unchanged
  EXPECT_EQ(uid.event_queue_ptr, 5u);

  // Non-digits count as 0; "0x" alone is 0; the full 64 bits accumulate.
  uid.Deserialize(JsonCell("{\"component_id\":\"0x1g2\"}"));
  EXPECT_EQ(uid.component_id, 0x102u);
  EXPECT_EQ(uid.event_queue_ptr, 0u);  // absent: 0
  uid.Deserialize(JsonCell("{\"component_id\":\"0x1FFFFFFFFFFFFFFFF\"}"));
  EXPECT_EQ(uid.component_id, ~0ULL);

  // A negative id does not fit the field's kind; the queue takes the raw bits.
  uid.component_id = 3;
  uid.Deserialize(JsonCell("{\"component_id\":-1,\"event_queue_ptr\":-1}"));
  EXPECT_EQ(uid.component_id, 3u);
  EXPECT_EQ(uid.event_queue_ptr, ~0ULL);
  uid.Deserialize(JsonCell("{\"component_id\":true,\"event_queue_ptr\":1.5}"));
  EXPECT_EQ(uid.component_id, 3u);
  EXPECT_EQ(uid.event_queue_ptr, 0x3FF8000000000000ULL);
}

}  // namespace
