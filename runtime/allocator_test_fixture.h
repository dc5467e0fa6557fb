// Test fixture that hands a CountingAllocator to the runtime for the length
// of one test and checks afterwards that every block went back exactly once.
#ifndef PGA_RUNTIME_ALLOCATOR_TEST_FIXTURE_H_
#define PGA_RUNTIME_ALLOCATOR_TEST_FIXTURE_H_

#include <gtest/gtest.h>

#include <string>

#include "doubles/counting_allocator.h"
#include "runtime/event.h"

namespace pga {

class AllocatorTest : public ::testing::Test {
 protected:
  void SetUp() override { InstallAllocator(&allocator_); }
  void TearDown() override {
    EXPECT_EQ(allocator_.LiveBlocks(), 0u) << "runtime storage leaked";
    EXPECT_EQ(allocator_.BadFrees(), 0u) << "runtime storage freed twice or foreign";
    InstallAllocator(nullptr);
  }

  // Standard output of `body`.
  template <typename Body>
  static std::string Printed(Body&& body) {
    ::testing::internal::CaptureStdout();
    try {
      body();
    } catch (...) {
      ADD_FAILURE() << "unexpected exception; printed:\n"
                    << ::testing::internal::GetCapturedStdout();
      throw;
    }
    return ::testing::internal::GetCapturedStdout();
  }

  CountingAllocator allocator_;
};

// The JSON text a serialised cell holds; empty for null text.
inline std::string Text(const BlobValue& cell) {
  if (cell.value == nullptr) return std::string();
  return std::string(static_cast<const char*>(cell.value), cell.size);
}

// A cell holding `text` (not copied: it must outlive the cell) as JSON text.
inline BlobValue JsonCell(const std::string& text) {
  BlobValue cell;
  cell.value = const_cast<char*>(text.data());
  cell.kind = kBlobJson;
  cell.size = text.size();
  return cell;
}

}  // namespace pga

#endif  // PGA_RUNTIME_ALLOCATOR_TEST_FIXTURE_H_
