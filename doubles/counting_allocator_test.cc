#include "doubles/counting_allocator.h"

#include <gtest/gtest.h>

#include <map>
#include <optional>
#include <string>

namespace pga {

namespace {

TEST(CountingAllocatorTest, LeakReportCountsLiveBlocksByTag) {
  CountingAllocator allocator;
  void* event = allocator.MallocSafe(16, "Event");
  void* first = allocator.MallocSafe(8, "EventParam");
  void* second = allocator.MallocSafe(8, "EventParam");
  allocator.Free(first);
  EXPECT_EQ(allocator.LiveBlocksByTag(),
            (std::map<std::string, std::size_t>{{"Event", 1}, {"EventParam", 1}}));

  // Without the tag record the counts stay exact.
  allocator.RecordTags(false);
  void* quiet = allocator.MallocSafe(4, nullptr);
  EXPECT_EQ(allocator.Tags().size(), 3u);
  EXPECT_EQ(allocator.LiveBlocksByTag().at(""), 1u);
  EXPECT_EQ(allocator.LiveBytes(), 28u);
  // A tag filter for failures still applies when tags are not recorded.
  allocator.FailWith(CountingAllocator::Failure::kReturnNull, "Event");
  EXPECT_EQ(allocator.MallocSafe(4, "Event"), nullptr);
  void* other = allocator.MallocSafe(4, "Other");
  EXPECT_NE(other, nullptr);
  allocator.FailWith(CountingAllocator::Failure::kNone);

  for (void* block : {event, second, quiet}) allocator.Free(block);
  EXPECT_EQ(allocator.LiveBlocksByTag(), (std::map<std::string, std::size_t>{{"Other", 1}}));
  allocator.Free(first);
  EXPECT_EQ(allocator.BadFrees(), 1u);
  allocator.Free(other);
  EXPECT_EQ(allocator.LiveBlocks(), 0u);
}

TEST(CountingAllocatorTest, FailAtFailsOnlyTheNthCallFromNow) {
  CountingAllocator allocator;
  allocator.Free(allocator.MallocSafe(4, "Before"));
  allocator.FailAt(2, CountingAllocator::Failure::kThrowException);
  void* first = allocator.MallocSafe(4, "First");
  EXPECT_FALSE(allocator.FailedAt().has_value());
  EXPECT_ANY_THROW(allocator.MallocSafe(4, "Second"));
  EXPECT_EQ(allocator.FailedAt(), std::optional<std::string>("Second"));
  void* third = allocator.MallocSafe(4, "Third");
  EXPECT_NE(third, nullptr);
  EXPECT_EQ(allocator.Calls(), 4u);
  for (void* block : {first, third}) allocator.Free(block);
  EXPECT_EQ(allocator.LiveBlocks(), 0u);
}

}  // namespace

}  // namespace pga
