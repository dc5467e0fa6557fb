#include "runtime/uid.h"

#include <gtest/gtest.h>

#include <string>

#include "runtime/allocator_test_fixture.h"

namespace {

using UIdTest = AllocatorTest;

void ReadFrom(UId& uid, const std::string& text) {
  BlobValue cell;
  cell.value = const_cast<char*>(text.data());
  cell.kind = kBlobJson;
  cell.size = text.size();
  uid.Deserialize(cell);
}

TEST_F(UIdTest, ComparesByBothFieldsOnly) {
  UId a(5, 9);
  UId b(5, 9);
  a.SetName("first");
  b.SetName("second");
  EXPECT_TRUE(a == b);
  EXPECT_FALSE(a < b);
  EXPECT_FALSE(b < a);
  EXPECT_TRUE(UId(5, 1) < UId(5, 2));
  EXPECT_TRUE(UId(4, 99) < UId(5, 0));
  // Unsigned: the all-ones id of a default UId sorts last.
  EXPECT_TRUE(UId(1, 0) < UId());
}

TEST_F(UIdTest, SerializesItsFormAndReadsItBack) {
  UId uid(18446744073709551615ULL, 140737488355328ULL);
  uid.SetName("Camera");
  BlobValue cell;
  uid.Serialize(cell);
  const std::string text(static_cast<const char*>(cell.value), cell.size);
  EXPECT_EQ(text,
            "{\"BaseObject\":{\"name\":\"Camera\"},\"component_id\":18446744073709551615,"
            "\"event_queue_ptr\":140737488355328}");
  UId back(0, 0);
  back.Deserialize(cell);
  EXPECT_EQ(back, uid);
  EXPECT_STREQ(back.GetName(), "Camera");
  BaseObject::ReleaseText(cell);
}

TEST_F(UIdTest, ReadsHexadecimalTextAndLenientQueueNumbers) {
  UId uid(77, 88);
  ReadFrom(uid, "{\"component_id\":\"0x1F\",\"event_queue_ptr\":\"0xfF\"}");
  EXPECT_EQ(uid.component_id, 31u);
  EXPECT_EQ(uid.event_queue_ptr, 255u);

  ReadFrom(uid, "{\"component_id\":\"12\",\"event_queue_ptr\":5}");
  EXPECT_EQ(uid.component_id, 31u);  // not hexadecimal text: unchanged
  EXPECT_EQ(uid.event_queue_ptr, 5u);

  // Non-digits count as 0; "0x" alone is 0; the full 64 bits accumulate.
  ReadFrom(uid, "{\"component_id\":\"0x1g2\"}");
  EXPECT_EQ(uid.component_id, 0x102u);
  EXPECT_EQ(uid.event_queue_ptr, 0u);  // absent: 0
  ReadFrom(uid, "{\"component_id\":\"0x1FFFFFFFFFFFFFFFF\"}");
  EXPECT_EQ(uid.component_id, ~0ULL);

  // A negative id does not fit the field's kind; the queue takes the raw bits.
  uid.component_id = 3;
  ReadFrom(uid, "{\"component_id\":-1,\"event_queue_ptr\":-1}");
  EXPECT_EQ(uid.component_id, 3u);
  EXPECT_EQ(uid.event_queue_ptr, ~0ULL);
  ReadFrom(uid, "{\"component_id\":true,\"event_queue_ptr\":1.5}");
  EXPECT_EQ(uid.component_id, 3u);
  EXPECT_EQ(uid.event_queue_ptr, 0x3FF8000000000000ULL);
}

}  // namespace
