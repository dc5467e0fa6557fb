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
  // Read in turn into one UId. The id takes only hexadecimal text (non-digits
  // count as 0, the full 64 bits accumulate) or an unsigned number; the queue
  // takes the raw bits of any number and is 0 when absent.
  const struct {
    const char* json;
    unsigned long long id;
    unsigned long long queue;
  } reads[] = {
      {R"({"component_id":"0x1F","event_queue_ptr":"0xfF"})", 31, 255},
      {R"({"component_id":"12","event_queue_ptr":5})", 31, 5},
      {R"({"component_id":"0x1g2"})", 0x102, 0},
      {R"({"component_id":-1,"event_queue_ptr":-1})", 0x102, ~0ULL},
      {R"({"component_id":true,"event_queue_ptr":1.5})", 0x102, 0x3FF8000000000000ULL},
      {R"({"component_id":"0x1FFFFFFFFFFFFFFFF"})", ~0ULL, 0},
  };
  UId uid(77, 88);
  for (const auto& read : reads) {
    uid.Deserialize(JsonCell(read.json));
    EXPECT_EQ(uid.component_id, read.id) << read.json;
    EXPECT_EQ(uid.event_queue_ptr, read.queue) << read.json;
  }
}

}  // namespace
