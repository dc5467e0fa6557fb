#include "store/child_list.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <random>
#include <string>
#include <vector>

namespace pga {
namespace {

// Random insertions (with right and wrong hints that the id comes last),
// erasures and look-ups on a list and on a std::map side by side: the list
// must hold exactly what the map holds, in the same order, through many
// splits of its runs and the removal of emptied ones.
TEST(ChildListTest, StaysTheSortedMapItStandsFor) {
  std::vector<std::string> ids;
  // Short ids are copied into the list, long ones are views of these texts.
  for (int i = 0; i < 3000; ++i) {
    const std::string number = std::to_string(i * 7919 % 3001);
    ids.push_back(i % 3 == 0 ? std::string(40, 'x') + number : "id-" + number);
  }
  std::mt19937 random(17);
  ChildList<int> list;
  std::map<std::string_view, int> model;
  auto same = [&] {
    ASSERT_EQ(list.size(), model.size());
    ASSERT_EQ(list.empty(), model.empty());
    auto expected = model.begin();
    for (const auto& slot : list) {
      ASSERT_NE(expected, model.end());
      ASSERT_EQ(slot.id(), expected->first);
      ASSERT_EQ(slot.value(), expected->second);
      ++expected;
    }
    ASSERT_EQ(expected, model.end());
  };
  // First in ascending order, as a start reads the store, then at random.
  std::vector<std::string> sorted = ids;
  std::sort(sorted.begin(), sorted.end());
  for (std::size_t i = 0; i < sorted.size(); i += 2) {
    list.Insert(sorted[i], static_cast<int>(i), true);
    model.emplace(sorted[i], static_cast<int>(i));
  }
  same();
  for (int step = 0; step < 40000; ++step) {
    const std::string& id = ids[random() % ids.size()];
    const int value = static_cast<int>(random() % 1000);
    switch (random() % 4) {
      case 0:
      case 1:
        list.Insert(id, value, random() % 2 == 0);
        model.emplace(id, value);
        break;
      case 2:
        list.Erase(id);
        model.erase(id);
        break;
      default: {
        const int* found = list.Find(id);
        auto expected = model.find(id);
        ASSERT_EQ(found != nullptr, expected != model.end()) << id;
        if (found != nullptr) {
          ASSERT_EQ(*found, expected->second) << id;
        }
      }
    }
    if (step % 997 == 0) same();
  }
  same();
  // Emptied almost whole, the thinned runs merge; then filled again.
  for (std::size_t i = 0; i < ids.size(); ++i) {
    list.Erase(ids[i]);
    model.erase(ids[i]);
    if (i % 101 == 0) same();
    if (i == ids.size() - 50) {
      for (std::size_t j = 0; j < ids.size(); j += 3) {
        list.Insert(ids[j], 1);
        model.emplace(ids[j], 1);
      }
      same();
    }
  }
  same();
  for (const std::string& id : ids) list.Erase(id);
  EXPECT_TRUE(list.empty());
  EXPECT_EQ(list.begin(), list.end());
  EXPECT_EQ(list.Find("id-1"), nullptr);
}

}  // namespace
}  // namespace pga
