#include "group/group_service.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <random>

#include "group/temp_store_dir.h"

namespace {

// An in-memory store with the table's rules: parents kept as texts, rows
// listed by order, the type filter of GetLastOrder for "Group" only.
class FakeRepository : public IGroupRepository {
 public:
  GroupModelList GetGroups(int32_t) override {
    GroupModelList groups;
    for (auto& [id, row] : rows) {
      if (row.type == "Group") groups.push_back(std::make_shared<GroupModel>(id, row.name, 0));
    }
    return groups;
  }
  GroupOrderModelList GetAll(int32_t) override {
    GroupOrderModelList all;
    for (auto& [id, row] : rows) all.push_back(std::make_shared<GroupOrderModel>(row));
    all.sort([](const auto& a, const auto& b) { return a->order < b->order; });
    return all;
  }
  int32_t GetLastOrder(int32_t, std::string type, std::string parent) override {
    int32_t last = 0;
    for (auto& [id, row] : rows) {
      if (row.parentId == parent && (type != "Group" || row.type == "Group")) {
        last = std::max(last, row.order);
      }
    }
    return last;
  }
  std::shared_ptr<GroupOrderModel> Get(int32_t, std::string uuid) override {
    return std::make_shared<GroupOrderModel>(rows[uuid]);
  }
  bool Update(int32_t, const GroupOrderItems& items) override {
    ++updates;
    for (const auto& item : items) {
      auto it = rows.find(item.itemId);
      if (it == rows.end()) continue;
      it->second.order = item.order;
      it->second.parentId = item.ParentText();
    }
    return !fail;
  }
  bool Save(int32_t, const GroupOrderModel& item) override {
    GroupOrderModel& row = rows[item.itemId] = item;
    row.parentId = item.ParentText();
    return !fail;
  }
  bool Remove(int32_t, std::string uuid) override {
    rows.erase(uuid);
    return !fail;
  }
  bool Clear() override {
    rows.clear();
    return true;
  }
  bool SaveAll(const GroupOrderItems& items) override {
    for (const auto& item : items) Save(0, item);
    return true;
  }

  GroupOrderMap rows;
  int updates = 0;
  bool fail = false;
};

GroupOrderModel Item(const std::string& id, std::optional<std::string> parent, const char* type,
                     int32_t order, uint64_t time = 0) {
  GroupOrderModel item(id, "", "name-" + id, type, order, time);
  item.parentId = std::move(parent);
  return item;
}

bool Same(const GroupOrderModel& a, const GroupOrderModel& b) {
  return a.itemId == b.itemId && a.parentId == b.parentId && a.name == b.name && a.type == b.type &&
         a.order == b.order && a.createdTime == b.createdTime;
}

std::vector<std::string> Ids(const GroupOrderItems& items) {
  std::vector<std::string> ids;
  for (const auto& item : items) ids.push_back(item.itemId);
  return ids;
}

template <typename List>
std::vector<std::string> Ids(const List& list) {
  std::vector<std::string> ids;
  for (const auto& entry : list) ids.push_back(entry->itemId);
  return ids;
}

std::vector<std::string> GroupIds(const GroupModelList& list) {
  std::vector<std::string> ids;
  for (const auto& entry : list) ids.push_back(entry->groupId.value_or("<absent>"));
  return ids;
}

class GroupServiceTest : public testing::Test {
 protected:
  // Stores `items` and loads them, as a start of the component would.
  void Load(const GroupOrderItems& items) {
    for (const auto& item : items) store_->Save(0, item);
    service_->LoadItems();
  }

  std::shared_ptr<FakeRepository> store_ = std::make_shared<FakeRepository>();
  std::shared_ptr<GroupService> service_ = std::make_shared<GroupService>(store_);
};

TEST_F(GroupServiceTest, CreateGroupNumbersAfterLastGroupAndShiftsSiblings) {
  Load({Item("c1", "p", "Channel", 1), Item("c2", "p", "Channel", 2), Item("c3", "p", "Channel", 3),
        Item("top", "", "Channel", 1), Item("p", "", "Group", 2)});
  GroupOrderModel group = Item("g", "p", "Group", -1);
  GroupOrderModelList modified;
  EXPECT_TRUE(service_->CreateGroup(0, group, modified));
  EXPECT_EQ(group.order, 1);
  EXPECT_EQ(Ids(modified), (std::vector<std::string>{"c1", "c2", "c3"}));
  for (const auto& id : {"c1", "c2", "c3"}) {
    EXPECT_EQ(service_->FindItem(id)->order, store_->rows[id].order);
  }
  EXPECT_EQ(store_->rows["c3"].order, 4);
  EXPECT_EQ(service_->FindItem("g")->order, 1);

  // A second group goes after the first; a top-level group created without
  // parent shifts loaded top-level items (present, empty parent) only.
  GroupOrderModel second = Item("h", "p", "Group", -1);
  modified.clear();
  service_->CreateGroup(0, second, modified);
  EXPECT_EQ(second.order, 2);
  EXPECT_EQ(Ids(modified), (std::vector<std::string>{"c1", "c2", "c3"}));
  service_->SaveItem(0, Item("free", std::nullopt, "Channel", 5));
  GroupOrderModel top = Item("t", std::nullopt, "Group", -1);
  modified.clear();
  store_->fail = true;
  EXPECT_FALSE(service_->CreateGroup(0, top, modified));
  EXPECT_EQ(top.order, 3);
  EXPECT_TRUE(modified.empty());
  EXPECT_TRUE(service_->FindItem("t").has_value());
}

TEST_F(GroupServiceTest, ShiftSiblingsRenumbersEqualOrdersConsecutively) {
  Load({Item("a", "p", "Channel", 2), Item("b", "p", "Channel", 2), Item("c", "p", "Group", 1),
        Item("d", "p", "Channel", 7)});
  GroupOrderItems shifted = service_->ShiftSiblings(Item("new", "p", "Group", 2));
  std::vector<int32_t> orders;
  for (const auto& item : shifted) orders.push_back(item.order);
  EXPECT_EQ(Ids(shifted), (std::vector<std::string>{"a", "b", "d"}));
  EXPECT_EQ(orders, (std::vector<int32_t>{3, 4, 5}));
  EXPECT_EQ(service_->FindItem("a")->order, 2);  // nothing changed yet
}

TEST_F(GroupServiceTest, AddChannelsAppendsAtTopLevelByCreationTime) {
  Load({Item("g", "", "Group", 4), Item("known", "g", "Channel", 1)});
  GroupOrderItems items = {Item("late", std::nullopt, "Channel", -1, 20),
                           Item("early", std::nullopt, "Channel", -1, 10),
                           Item("known", std::nullopt, "Channel", -1, 30)};
  items[2].name = "renamed";
  EXPECT_TRUE(service_->AddChannels(0, items));
  EXPECT_EQ(Ids(items), (std::vector<std::string>{"early", "late", "known"}));
  EXPECT_EQ(items[0].order, 5);
  EXPECT_EQ(items[2].order, 7);
  EXPECT_FALSE(service_->FindItem("late")->parentId.has_value());
  EXPECT_TRUE(Same(*service_->FindItem("known"), Item("known", "g", "Channel", 1)));
  EXPECT_EQ(store_->rows["known"].name, "renamed");
  EXPECT_EQ(store_->rows["known"].order, 7);
}

TEST_F(GroupServiceTest, MutationsChangeCacheThenStore) {
  store_->fail = true;
  EXPECT_FALSE(service_->UpdateItems(0, {Item("x", "g", "Channel", 3)}));
  EXPECT_EQ(service_->FindItem("x")->order, 3);
  EXPECT_FALSE(service_->UpdateItems(0, {Item("x", std::nullopt, "Channel", 4)}));
  EXPECT_FALSE(service_->FindItem("x")->parentId.has_value());
  EXPECT_TRUE(service_->GetChildren("g").empty());
  EXPECT_FALSE(service_->RemoveItem(0, "x"));
  EXPECT_FALSE(service_->FindItem("x").has_value());
  EXPECT_EQ(service_->UpdateItems(0, {}), false);
  EXPECT_EQ(store_->updates, 3);

  store_->fail = false;
  Load({Item("a", "", "Channel", 1)});
  service_->Clear();
  EXPECT_TRUE(store_->rows.empty());
  EXPECT_EQ(service_->GetItems().size(), 1u);
  service_->ClearItemCache();
  EXPECT_TRUE(service_->GetItems().empty());
  EXPECT_TRUE(service_->child_index().empty());
}

TEST_F(GroupServiceTest, LoadItemsKeepsCachedEntries) {
  service_->SaveItem(0, Item("a", std::nullopt, "Channel", 1));
  store_->rows["a"].order = 9;
  store_->rows["b"] = Item("b", "", "Channel", 2);
  service_->LoadItems();
  EXPECT_EQ(service_->FindItem("a")->order, 1);
  EXPECT_EQ(service_->FindItem("b")->parentId, "");
  EXPECT_EQ(service_->shared_from_this(), service_);
}

TEST_F(GroupServiceTest, RemoveEmptyGroupWalksUpToTheTopLevel) {
  Load({Item("A", "", "Group", 1), Item("B", "A", "Group", 1), Item("C", "B", "Group", 2),
        Item("leaf", "B", "Channel", 1), Item("other", "", "Channel", 2)});
  GroupModelList groups;
  GroupOrderModelList items;
  service_->RemoveEmptyGroup("B", groups, items);  // has children
  EXPECT_TRUE(groups.empty() && items.empty());

  service_->RemoveItem(0, "leaf");
  service_->RemoveEmptyGroup("C", groups, items);
  EXPECT_EQ(GroupIds(groups), (std::vector<std::string>{"C", "B", "A"}));
  EXPECT_EQ(Ids(items), (std::vector<std::string>{"C", "B", "A"}));
  EXPECT_EQ(items.front()->order, -1);
  EXPECT_FALSE(items.front()->parentId.has_value());
  EXPECT_EQ(store_->rows.size(), 1u);

  // Not cached: still removed and recorded. The top level is never a group.
  groups.clear();
  items.clear();
  service_->RemoveEmptyGroup("ghost", groups, items);
  service_->RemoveItem(0, "other");
  service_->RemoveEmptyGroup("", groups, items);
  EXPECT_EQ(GroupIds(groups), (std::vector<std::string>{"ghost"}));
}

TEST_F(GroupServiceTest, WalksEndOnCyclesAndDeepChains) {
  GroupOrderItems chain;
  const int kDepth = 100000;
  for (int i = 0; i < kDepth; ++i) {
    chain.push_back(
        Item("g" + std::to_string(i), i ? "g" + std::to_string(i - 1) : "", "Group", 1));
  }
  chain.push_back(Item("leaf", "g" + std::to_string(kDepth - 1), "Channel", 1));
  service_->UpdateItems(0, chain);
  std::vector<std::string> out;
  service_->CollectChannels("g0", out);
  EXPECT_EQ(out, std::vector<std::string>{"leaf"});
  service_->RemoveItem(0, "leaf");
  GroupModelList groups;
  GroupOrderModelList items;
  service_->RemoveEmptyGroup("g" + std::to_string(kDepth - 1), groups, items);
  EXPECT_EQ(items.size(), static_cast<size_t>(kDepth));
  EXPECT_TRUE(service_->GetItems().empty());

  // a and b are each other's parent; c hangs below b, d below a.
  service_->UpdateItems(0, {Item("a", "b", "Group", 1), Item("b", "a", "Group", 1),
                            Item("c", "b", "Channel", 2), Item("d", "a", "Channel", 2)});
  out.clear();
  service_->CollectChannels("a", out);
  EXPECT_EQ(out, (std::vector<std::string>{"c", "d"}));
  out.clear();
  service_->CollectChannels("nothing", out);
  EXPECT_TRUE(out.empty());
}

// The plain walks over the whole cache, as a reference for the indexed ones.
struct Reference {
  GroupOrderMap items;

  GroupOrderItems Children(const std::string& id) const {
    GroupOrderItems children;
    for (const auto& [key, item] : items) {
      if (item.parentId == id) children.push_back(item);
    }
    return children;
  }
  void Collect(const std::string& id, std::set<std::string>& walked,
               std::vector<std::string>& out) const {
    for (const auto& child : Children(id)) {
      if (child.type != "Group") {
        out.push_back(child.itemId);
      } else if (walked.insert(child.itemId).second) {
        Collect(child.itemId, walked, out);
      }
    }
  }
  GroupOrderItems Shift(const GroupOrderModel& item) const {
    GroupOrderItems shifted;
    for (const auto& child : Children(item.ParentText())) {
      if (child.order >= item.order) shifted.push_back(child);
    }
    std::stable_sort(shifted.begin(), shifted.end(),
                     [](const auto& a, const auto& b) { return a.order < b.order; });
    for (size_t i = 0; i < shifted.size(); ++i) shifted[i].order = item.order + 1 + int32_t(i);
    return shifted;
  }
  GroupService::ChildIndex Index() const {
    GroupService::ChildIndex index;
    for (const auto& [key, item] : items) index[item.parentId].insert(key);
    return index;
  }
};

TEST_F(GroupServiceTest, IndexedWalksMatchPlainWalksOnRandomTrees) {
  std::mt19937 random(20240607);
  auto pick = [&](int n) { return static_cast<int>(random() % n); };
  auto id = [&] { return (pick(3) ? "c" : "g") + std::to_string(pick(12)); };
  auto parent = [&]() -> std::optional<std::string> {
    int choice = pick(5);
    if (choice == 0) return std::nullopt;
    if (choice == 1) return std::string();
    return "g" + std::to_string(pick(12));
  };
  auto item = [&] {
    std::string item_id = id();
    return Item(item_id, parent(), item_id[0] == 'g' ? "Group" : "Channel", pick(6), pick(4));
  };
  Reference reference;
  for (int step = 0; step < 3000; ++step) {
    switch (pick(7)) {
      case 0: {
        GroupOrderModel group = item();
        group.type = "Group";
        GroupOrderModelList modified;
        service_->CreateGroup(0, group, modified);
        GroupOrderItems shifted = reference.Shift(group);
        EXPECT_EQ(Ids(modified), Ids(shifted));
        for (const auto& sibling : shifted) reference.items[sibling.itemId] = sibling;
        reference.items.try_emplace(group.itemId, group);
        break;
      }
      case 1:
      case 2: {
        GroupOrderItems batch = {item(), item()};
        service_->UpdateItems(0, batch);
        for (const auto& entry : batch) reference.items[entry.itemId] = entry;
        break;
      }
      case 3: {
        std::string removed = id();
        service_->RemoveItem(0, removed);
        reference.items.erase(removed);
        break;
      }
      case 4: {
        GroupOrderItems channels = {item()};
        service_->AddChannels(0, channels);
        reference.items.try_emplace(channels[0].itemId, channels[0]);
        break;
      }
      case 5: {
        std::string start = pick(4) ? id() : std::string();
        GroupModelList groups;
        GroupOrderModelList items;
        service_->RemoveEmptyGroup(start, groups, items);
        std::vector<std::string> expected;
        while (!start.empty() && reference.Children(start).empty()) {
          expected.push_back(start);
          std::optional<std::string> next;
          auto found = reference.items.find(start);
          if (found != reference.items.end()) {
            next = found->second.parentId;
            reference.items.erase(found);
          }
          if (!next) break;
          start = *next;
        }
        EXPECT_EQ(Ids(items), expected);
        EXPECT_EQ(GroupIds(groups), expected);
        break;
      }
      default:
        service_->LoadItems();
        for (const auto& [key, row] : store_->rows) reference.items.try_emplace(key, row);
    }
    const GroupOrderMap cached = service_->GetItems();
    ASSERT_EQ(cached.size(), reference.items.size()) << "step " << step;
    for (const auto& [key, entry] : reference.items) {
      ASSERT_TRUE(Same(cached.at(key), entry)) << "step " << step << " id " << key;
    }
    ASSERT_EQ(service_->child_index(), reference.Index()) << "step " << step;
    const std::string probe = pick(6) ? id() : std::string();
    EXPECT_EQ(Ids(service_->GetChildren(probe)), Ids(reference.Children(probe)));
    std::vector<std::string> out;
    std::vector<std::string> expected;
    std::set<std::string> walked = {probe};
    service_->CollectChannels(probe, out);
    reference.Collect(probe, walked, expected);
    EXPECT_EQ(out, expected) << "step " << step;
    const GroupOrderModel sibling = item();
    const GroupOrderItems shifted = service_->ShiftSiblings(sibling);
    const GroupOrderItems reference_shifted = reference.Shift(sibling);
    ASSERT_EQ(shifted.size(), reference_shifted.size());
    for (size_t i = 0; i < shifted.size(); ++i) {
      EXPECT_TRUE(Same(shifted[i], reference_shifted[i])) << "step " << step;
    }
  }
}

TEST(GroupServiceStoreTest, DefaultServiceUsesGroupDbInTheCurrentDirectory) {
  TempStoreDir dir;
  {
    auto service = std::make_shared<GroupService>();
    GroupOrderModel group = Item("g", std::nullopt, "Group", -1, 5);
    GroupOrderModelList modified;
    EXPECT_TRUE(service->CreateGroup(0, group, modified));
    GroupOrderItems channels = {Item("c", std::nullopt, "Channel", -1, 6)};
    service->AddChannels(0, channels);
    EXPECT_EQ(service->GetGroups(0)->size(), 1u);
  }
  EXPECT_EQ(TempStoreDir::Query("SELECT * FROM logical_table ORDER BY order_"),
            (std::vector<std::vector<std::string>>{{"g", "", "name-g", "Group", "1", "5"},
                                                   {"c", "", "name-c", "Channel", "2", "6"}}));
  auto service = std::make_shared<GroupService>();
  service->LoadItems();
  EXPECT_EQ(service->FindItem("c")->parentId, "");
  EXPECT_EQ(service->GetAll(0)->size(), 2u);
  EXPECT_EQ(service->GetLastOrder(0, "Group", ""), 1);
}

}  // namespace
