#include "runtime/base_object.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "runtime/allocator_test_fixture.h"
#include "runtime/directory.h"
#include "runtime/event.h"
#include "runtime/map.h"
#include "runtime/vector.h"

namespace {

using BaseObjectTest = AllocatorTest;

std::string Text(const BlobValue& cell) {
  return std::string(static_cast<const char*>(cell.value), cell.size);
}

BlobValue JsonCell(const std::string& text) {
  BlobValue cell;
  cell.value = const_cast<char*>(text.data());
  cell.kind = kBlobJson;
  cell.size = text.size();
  return cell;
}

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

TEST_F(BaseObjectTest, NamesAreCutAt31CharactersAndCopiesDrawAFreshTag) {
  const std::string forty(40, 'n');
  BaseObject long_name(forty.c_str());
  EXPECT_EQ(std::string(long_name.GetName()), forty.substr(0, 31));
  const std::string thirty_one(31, 'k');
  BaseObject exact(thirty_one.c_str());
  EXPECT_EQ(std::string(exact.GetName()), thirty_one);

  BaseObject original(4242, "Original");
  original.SetSize(96);
  BaseObject copy(original);
  EXPECT_EQ(copy.GetTypeCode(), 4242u);
  EXPECT_STREQ(copy.GetName(), "Original");
  EXPECT_EQ(copy.GetSize(), 96u);
  BaseObject second(original);
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
  EXPECT_EQ(cell.size, 21u);
  EXPECT_EQ(Text(cell), "{\"name\":\"BaseObject\"}");
  EXPECT_EQ(static_cast<const char*>(cell.value)[21], '\0');
  EXPECT_EQ(CountingAllocator::StoredSize(cell.value), 22u);
  EXPECT_EQ(allocator_.Tags().back(), "BaseObject");
  BaseObject::ReleaseText(cell);
  EXPECT_EQ(cell.value, nullptr);

  // Collections and directories add nothing to the form.
  Directory directory;
  directory.insert("k", "v");
  directory.Serialize(cell);
  EXPECT_EQ(Text(cell), "{\"name\":\"Directory\"}");
  BaseObject::ReleaseText(cell);

  // A name with quotes and control characters is escaped.
  BaseObject odd("a\"b\n");
  odd.Serialize(cell);
  EXPECT_EQ(Text(cell), "{\"name\":\"a\\\"b\\n\"}");
  BaseObject::ReleaseText(cell);
}

TEST_F(BaseObjectTest, SerializeWithoutStoragePrintsTheFailureLineAndGivesEmptyText) {
  allocator_.FailWith(CountingAllocator::Failure::kReturnNull);
  BaseObject object("Tiny");
  BlobValue cell;
  testing::internal::CaptureStdout();
  object.Serialize(cell);
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            " char* arr = (char*)BaseObject::allocator->MallocSafe(16, Tiny); Failed!! \n");
  EXPECT_EQ(cell.value, nullptr);
  EXPECT_EQ(cell.kind, kBlobJson);
  EXPECT_EQ(cell.size, 0u);
}

TEST_F(BaseObjectTest, DeserializeSkipsAByteOrderMarkAndReadsBadInputAsEmpty) {
  BaseObject object;
  object.Deserialize(JsonCell("\xEF\xBB\xBF{\"name\":\"Marked\"}"));
  EXPECT_STREQ(object.GetName(), "Marked");

  const std::string too_long = "{\"name\":\"" + std::string(50, 'x') + "\"}";
  object.Deserialize(JsonCell(too_long));
  EXPECT_EQ(std::string(object.GetName()), std::string(31, 'x'));

  const std::vector<std::string> bad_inputs = {"{\"name\":", "[\"name\"]", "{\"name\":7}", "{}",
                                               std::string(100000, '[') + std::string(100000, ']')};
  for (const std::string& bad : bad_inputs) {
    object.SetName("before");
    object.Deserialize(JsonCell(bad));
    EXPECT_STREQ(object.GetName(), "") << bad.substr(0, 20);
  }

  BlobValue not_text;
  not_text.kind = kBlobObject;
  not_text.value = &object;
  object.SetName("before");
  object.Deserialize(not_text);
  EXPECT_STREQ(object.GetName(), "");
}

TEST_F(BaseObjectTest, HeapObjectsKnowTheirStorageSizeAndMembersDoNot) {
  auto* vector = new ("Vector") Vector<int>();
  ASSERT_NE(vector, nullptr);
  EXPECT_EQ(vector->GetSize(), sizeof(Vector<int>));
  EXPECT_EQ(CountingAllocator::StoredSize(vector), sizeof(Vector<int>));
  EXPECT_EQ(allocator_.Tags().back(), "Vector");
  EXPECT_EQ(allocator_.LiveBlocks(), 1u);
  delete vector;
  EXPECT_EQ(allocator_.LiveBlocks(), 0u);

  Event* event = Event::Create(UId(1, 0), UId(2, 0), 7, 0);
  ASSERT_NE(event, nullptr);
  EXPECT_EQ(event->GetSize(), sizeof(Event));
  EXPECT_EQ(event->GetSourceUId().GetSize(), 0u);
  EXPECT_EQ(event->GetBlob().GetSize(), 0u);
  delete event;

  Map<int, int> local;
  EXPECT_EQ(local.GetSize(), 0u);
}

TEST_F(BaseObjectTest, FailedAllocationConstructsNothingAndAFailedConstructorFreesItsBlock) {
  Probe::constructed = 0;
  allocator_.FailWith(CountingAllocator::Failure::kReturnNull);
  EXPECT_EQ(new ("Probe") Probe(), nullptr);
  allocator_.FailWith(CountingAllocator::Failure::kThrowException);
  EXPECT_EQ(new ("Probe") Probe(), nullptr);
  allocator_.FailWith(CountingAllocator::Failure::kThrowStandard);
  EXPECT_EQ(new ("Probe") Probe(), nullptr);
  EXPECT_EQ(Probe::constructed, 0);
  allocator_.FailWith(CountingAllocator::Failure::kNone);

  EXPECT_THROW(new ("Probe") Probe(true), std::runtime_error);
  EXPECT_EQ(allocator_.LiveBlocks(), 0u);

  InstallAllocator(nullptr);
  EXPECT_EQ(new ("Probe") Probe(), nullptr);
  InstallAllocator(&allocator_);
}

}  // namespace
