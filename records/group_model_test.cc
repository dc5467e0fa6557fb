#include "records/group_model.h"

#include <gtest/gtest.h>

#include "records/record_test_util.h"

namespace pga {

namespace {

using pga_records_test::ParseOrFail;
using pga_records_test::Write;

TEST(GroupOrderModelTest, NameAndTimeAreNeverReadAndAnEmptyParentIsKept) {
  GroupOrderModel item("c1", "g1", "Door", "Channel", 2, 5);
  item.parentId.reset();
  item.FromJson(ParseOrFail(R"({"parentId":"","name":"x","createdTime":9})"));
  EXPECT_EQ(item.parentId, "");
  EXPECT_EQ(item.name, "Door");
  EXPECT_EQ(item.createdTime, 5u);
}

TEST(GroupConversionTest, ConvertsBetweenGroupsAndItems) {
  GroupOrderModel item("old", "p", "Old", "Channel", 7, 1);
  MakeOrderItem("Group", GroupModel(), item);
  EXPECT_EQ(Write(item), R"({"itemId":"old","type":"Group","order":7})");
  EXPECT_EQ(item.name, "Old");
  MakeOrderItem("Group", GroupModel("g", "New", 2), item);
  EXPECT_EQ(item.itemId + item.name + std::to_string(item.createdTime), "gNew2");

  GroupModel group;
  MakeGroupRecord(GroupOrderModel("c", "", "", "Channel", 0, 0), group);
  EXPECT_EQ(group.groupName, "");
  EXPECT_EQ(group.parentId, "");
  EXPECT_EQ(Write(group), R"({"groupId":"c","createdTime":0})");
}

TEST(GroupConversionTest, FillLogicalListWalksIdsInByteOrder) {
  GroupOrderMap items;
  items["b"] = GroupOrderModel("b", "x", "B", "Group", 1, 10);
  items["a"] = GroupOrderModel("a", "b", "A", "Channel", 2, 20);
  items["c"] = GroupOrderModel("c", "", "C", "Group", 3, 30);
  items["\xC3\xA9"] = GroupOrderModel("\xC3\xA9", "", "E", "group", 4, 40);
  struct {
    std::shared_ptr<GroupModelList> groups;
    std::shared_ptr<GroupOrderModelList> items;
  } list;
  FillLogicalList(items, list);
  std::string written;
  for (const auto& group : *list.groups) written += Write(*group);
  for (const auto& item : *list.items) written += item->itemId;
  EXPECT_EQ(written, R"({"groupId":"b","groupName":"B","parentId":"x","createdTime":10})"
                     R"({"groupId":"c","groupName":"C","createdTime":30}abc)"
                     "\xC3\xA9");
}

}  // namespace

}  // namespace pga
