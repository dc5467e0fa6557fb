#include "runtime/base_object.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "runtime/allocator_test_fixture.h"

namespace pga {

namespace {

using BaseObjectTest = AllocatorTest;

// Counts its constructions; the second constructor throws after the
// BaseObject part was built.
class Probe : public BaseObject {
 public:
  static int constructed;
  Probe() : BaseObject("Probe") { ++constructed; }
  explicit Probe(bool fail) : BaseObject("Probe") {
    if (fail) throw std::runtime_error("probe");
  }
};
int Probe::constructed = 0;

TEST_F(BaseObjectTest, CopiesKeepTheFieldsAndDrawAFreshTag) {
  BaseObject original(4242, "Original");
  original.SetSize(96);
  BaseObject copy(original);
  BaseObject second(original);
  EXPECT_EQ(copy.GetTypeCode(), 4242u);
  EXPECT_STREQ(copy.GetName(), "Original");
  EXPECT_EQ(copy.GetSize(), 96u);
  // Two copies drawing the same tag as the original and as each other would
  // mean the tag was copied, not drawn.
  EXPECT_FALSE(copy.GetInstanceTag() == original.GetInstanceTag() &&
               second.GetInstanceTag() == original.GetInstanceTag());
}

TEST_F(BaseObjectTest, SerializeWritesTheNameFormInStorageTaggedWithTheName) {
  BaseObject object;
  BlobValue cell;
  object.Serialize(cell);
  EXPECT_EQ(cell.kind, kBlobJson);
  EXPECT_EQ(Text(cell), "{\"name\":\"BaseObject\"}");
  EXPECT_EQ(static_cast<const char*>(cell.value)[21], '\0');
  EXPECT_EQ(CountingAllocator::StoredSize(cell.value), 22u);
  EXPECT_EQ(allocator_.Tags().back(), "BaseObject");
  BaseObject::ReleaseText(cell);
  EXPECT_EQ(cell.value, nullptr);

  // A name with quotes and control characters is escaped.
  BaseObject odd("a\"b\n");
  odd.Serialize(cell);
  EXPECT_EQ(Text(cell), "{\"name\":\"a\\\"b\\n\"}");
  BaseObject::ReleaseText(cell);

  allocator_.FailWith(CountingAllocator::Failure::kReturnNull);
  BaseObject tiny("Tiny");
  EXPECT_EQ(Printed([&] { tiny.Serialize(cell); }),
            " char* arr = (char*)BaseObject::allocator->MallocSafe(16, Tiny); Failed!! \n");
  EXPECT_EQ(cell.value, nullptr);
  EXPECT_EQ(cell.size, 0u);
}

TEST_F(BaseObjectTest, DeserializeSkipsAByteOrderMarkAndReadsBadInputAsEmpty) {
  BaseObject object;
  object.Deserialize(JsonCell("\xEF\xBB\xBF{\"name\":\"Marked\"}"));
  EXPECT_STREQ(object.GetName(), "Marked");
  object.Deserialize(JsonCell("{\"name\":\"" + std::string(50, 'x') + "\"}"));
  EXPECT_EQ(std::string(object.GetName()), std::string(31, 'x'));

  const std::vector<std::string> bad_inputs = {"{\"name\":", "[\"name\"]", "{\"name\":7}", "{}",
                                               std::string(100000, '[') + std::string(100000, ']')};
  for (const std::string& bad : bad_inputs) {
    object.SetName("before");
    object.Deserialize(JsonCell(bad));
    EXPECT_STREQ(object.GetName(), "") << bad.substr(0, 20);
  }
  const std::string named = "{\"name\":\"Text\"}";
  BlobValue not_text = JsonCell(named);
  not_text.kind = kBlobObject;  // text, but not marked as such
  object.SetName("before");
  object.Deserialize(not_text);
  EXPECT_STREQ(object.GetName(), "");
}

TEST_F(BaseObjectTest, FailedAllocationConstructsNothingAndAFailedConstructorFreesItsBlock) {
  Probe::constructed = 0;
  for (auto failure :
       {CountingAllocator::Failure::kReturnNull, CountingAllocator::Failure::kThrowException,
        CountingAllocator::Failure::kThrowStandard}) {
    allocator_.FailWith(failure);
    EXPECT_EQ(new ("Probe") Probe(), nullptr);
  }
  EXPECT_EQ(Probe::constructed, 0);
  allocator_.FailWith(CountingAllocator::Failure::kNone);

  EXPECT_THROW(new ("Probe") Probe(true), std::runtime_error);
  EXPECT_EQ(allocator_.LiveBlocks(), 0u);

  InstallAllocator(nullptr);
  EXPECT_EQ(new ("Probe") Probe(), nullptr);
  InstallAllocator(&allocator_);
}

}  // namespace

}  // namespace pga
