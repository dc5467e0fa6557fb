#include "records/group_model.h"

#include <gtest/gtest.h>

#include "runtime/json.h"

namespace {

template <typename Model>
std::string Write(const Model& model, const char* start = "{}") {
  rapidjson::Document doc;
  pga_json::Parse(doc, start);
  model.ToJson(doc, doc.GetAllocator());
  return pga_json::ToCompact(doc);
}

template <typename Model>
void Read(Model& model, const std::string& text) {
  rapidjson::Document doc;
  ASSERT_TRUE(pga_json::Parse(doc, text)) << text;
  model.FromJson(doc);
}

// The plain forms are written in the end-to-end expected files; these are
// the quirks a script cannot show.
TEST(GroupModelTest, WritesOnlyNonEmptyTextsAndTheTimeAsSigned) {
  GroupModel group;
  group.groupName = "";
  group.parentId = "";
  EXPECT_EQ(Write(group), "{}");
  group = GroupModel("g1", "Lobby", UINT64_MAX);
  EXPECT_EQ(Write(group, R"({"groupId":7})"),
            R"({"groupId":"g1","groupName":"Lobby","createdTime":-1})");
}

TEST(GroupOrderModelTest, WritesFixedMembersAndReplacesExistingOnes) {
  GroupOrderModel row("c1", "", "Door", "Channel", 4, 99);
  EXPECT_EQ(Write(row), R"({"itemId":"c1","type":"Channel","order":4})");
  row.parentId = "g1";
  EXPECT_EQ(Write(row, R"({"x":1,"itemId":5,"order":"old"})"),
            R"({"x":1,"itemId":"c1","order":4,"parentId":"g1","type":"Channel"})");
  EXPECT_EQ(Write(row, "[1]"), "[1]");
}

TEST(GroupModelTest, ReadsMembersAndSkipsWrongKinds) {
  GroupModel group;
  Read(group, R"({"groupId":"a\u0000b","groupName":"","createdTime":18446744073709551615})");
  EXPECT_EQ(group.groupId, "a");
  EXPECT_EQ(group.groupName, "");
  EXPECT_FALSE(group.parentId.has_value());
  EXPECT_EQ(group.createdTime, UINT64_MAX);

  for (const char* bad : {R"({"createdTime":-1})", R"({"createdTime":1.5})",
                          R"({"createdTime":18446744073709551616})", R"({"createdTime":"5"})",
                          R"({"groupId":5,"groupName":null,"parentId":[]})", "[]", "\"g\"", "3"}) {
    Read(group, bad);
    EXPECT_EQ(group.groupId, "a") << bad;
    EXPECT_EQ(group.groupName, "") << bad;
    EXPECT_FALSE(group.parentId.has_value()) << bad;
    EXPECT_EQ(group.createdTime, UINT64_MAX) << bad;
  }
  Read(group, R"({"parentId":"p1","parentId":"p2"})");
  EXPECT_EQ(group.parentId, "p1");
}

TEST(GroupOrderModelTest, ReadsMembersAndSkipsWrongKinds) {
  GroupOrderModel item("c1", "g1", "Door", "Channel", 2, 5);
  item.parentId.reset();
  Read(item, R"({"order":3})");
  EXPECT_EQ(item.order, 3);
  EXPECT_EQ(item.itemId, "c1");
  EXPECT_EQ(item.type, "Channel");
  EXPECT_FALSE(item.parentId.has_value());
  Read(item, R"({"parentId":"","name":"x","createdTime":9})");
  EXPECT_EQ(item.parentId, "");
  EXPECT_EQ(item.name, "Door");
  EXPECT_EQ(item.createdTime, 5u);

  for (const char* bad : {R"({"order":"4"})", R"({"order":2147483648})", R"({"order":1.0})",
                          R"({"itemId":1,"type":false})", "null"}) {
    Read(item, bad);
    EXPECT_EQ(item.order, 3) << bad;
    EXPECT_EQ(item.itemId, "c1") << bad;
    EXPECT_EQ(item.type, "Channel") << bad;
  }
  Read(item, R"({"order":-2147483648,"type":"Gr\u0000oup"})");
  EXPECT_EQ(item.order, INT32_MIN);
  EXPECT_EQ(item.type, "Gr");
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
