// Feeds arbitrary text to the reader of tree exports (what import reads).
// Whatever it accepts is checked with the tree's rules and written back: the
// written document must read as the same rows and write the same bytes.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "tools/tree_checker.h"
#include "tools/tree_document.h"

using namespace pga;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::vector<StoreRow> rows;
  std::string error;
  if (!ReadTreeDocument(std::string(reinterpret_cast<const char*>(data), size), rows, error)) {
    return 0;
  }
  CheckTree(rows);
  const std::string text = WriteTreeDocument(rows);
  std::vector<StoreRow> again;
  fuzz::Check(ReadTreeDocument(text, again, error), "a written document does not read");
  fuzz::Check(again == rows, "a written document reads as other rows");
  fuzz::Check(WriteTreeDocument(again) == text, "a document writes other bytes the second time");
  return 0;
}
