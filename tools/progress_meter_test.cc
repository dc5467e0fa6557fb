#include "tools/progress_meter.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

namespace pga {

namespace {

// What the meters made by `show` wrote, read back from a temporary file.
template <typename Show>
std::string Written(Show show) {
  std::FILE* file = std::tmpfile();
  show(file);
  std::string text(static_cast<std::size_t>(std::ftell(file)), '\0');
  std::rewind(file);
  text.resize(std::fread(text.data(), 1, text.size(), file));
  std::fclose(file);
  return text;
}

constexpr std::chrono::milliseconds kNow(0);

TEST(ProgressMeterTest, ShowsShareCountOrTimeOncePastTheQuietTimeAndEndsTheLine) {
  EXPECT_EQ(Written([](std::FILE* file) {
              ProgressMeter meter("export", "items", file, kNow);
              meter.SetTotal(8);
              meter.Update(2);
              meter.Update(4);  // too soon after the last line
            }),
            "\rexport: 25% (2 of 8 items)\033[K\n");
  EXPECT_EQ(Written([](std::FILE* file) {
              ProgressMeter meter("tree: reading", "items", file, kNow);
              meter.Update(4096);
            }),
            "\rtree: reading: 4096 items\033[K\n");
  EXPECT_EQ(Written([](std::FILE* file) {
              ProgressMeter meter("check", "", file, kNow);
              meter.Tick("SQLite's integrity_check");
            }),
            "\rcheck: SQLite's integrity_check (0 s)\033[K\n");
  // Quick work, or a stream that is not a terminal, shows nothing at all.
  EXPECT_EQ(Written([](std::FILE* file) {
              ProgressMeter meter("import", "items", file, std::chrono::hours(1));
              meter.Update(1);
              meter.Tick("committing");
              ProgressMeter silent("import", "items", nullptr, kNow);
              silent.Update(1);
            }),
            "");
}

}  // namespace

}  // namespace pga
