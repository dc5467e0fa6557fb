#include "store/group_service.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <random>
#include <set>
#include <tuple>
#include <utility>

namespace pga {

namespace {

// An in-memory store with the table's rules: parents kept as texts, rows
// listed by order, the type filter of GetLastOrder for "Group" only.
class FakeRepository : public IGroupRepository {
 public:
  // The service only passes these through.
  GroupModelList GetGroups(int32_t) override { return {}; }
  std::shared_ptr<GroupOrderModel> Get(int32_t, std::string) override { return nullptr; }
  bool SaveAll(const GroupOrderItems&) override { return true; }

  GroupOrderModelList GetAll(int32_t) override {
    GroupOrderModelList all;
    for (auto& [id, row] : rows) all.push_back(std::make_shared<GroupOrderModel>(row));
    for (auto& row : repeated_rows) all.push_back(std::make_shared<GroupOrderModel>(row));
    std::stable_sort(all.begin(), all.end(),
                     [](const auto& a, const auto& b) { return a->order < b->order; });
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
  bool TakeLockMet() override { return std::exchange(lock_met, false); }
  bool Update(int32_t, const GroupOrderItems& items) override {
    if (Locked()) return false;
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
    if (Locked()) return false;
    GroupOrderModel& row = rows[item.itemId] = item;
    row.parentId = item.ParentText();
    return !fail;
  }
  bool Remove(int32_t, std::string uuid) override {
    if (Locked()) return false;
    rows.erase(uuid);
    return !fail;
  }
  bool Clear() override {
    rows.clear();
    return true;
  }
  bool RunBatch(const std::function<void()>& writes) override {
    writes();
    return true;
  }
  // The rows as GetAll() lists them, or by id (equal ids by order), or by
  // id backwards; the read fails after `fail_after` rows when that is set.
  bool ReadAllItems(int32_t key, const StoredRowSink& take) override {
    GroupOrderModelList all = GetAll(key);
    if (listing != Listing::kByOrder) {
      std::stable_sort(all.begin(), all.end(),
                       [](const auto& a, const auto& b) { return a->itemId < b->itemId; });
    }
    if (listing == Listing::kByIdBackwards) std::reverse(all.begin(), all.end());
    for (std::size_t i = 0; i < all.size(); ++i) {
      if (fail_after && i == *fail_after) return false;
      take(RowOf(*all[i]));
    }
    return true;
  }

  enum class Listing { kByOrder, kById, kByIdBackwards };
  Listing listing = Listing::kByOrder;
  std::optional<std::size_t> fail_after;
  GroupOrderMap rows;
  // Rows listed besides `rows`, ids repeated (a table without its key).
  GroupOrderItems repeated_rows;
  int updates = 0;
  bool fail = false;
  // While set, every write fails as on a lock that another program keeps.
  bool locked = false;
  bool lock_met = false;

 private:
  bool Locked() {
    lock_met = lock_met || locked;
    return locked;
  }
};

GroupOrderModel Item(const std::string& id, std::optional<std::string> parent, const char* type,
                     int32_t order, uint64_t time = 0) {
  GroupOrderModel item(id, "", "name-" + id, type, order, time);
  item.parentId = std::move(parent);
  return item;
}

// Every field of an item, for comparisons that print what differs.
using Fields = std::tuple<std::string, std::optional<std::string>, std::string, std::string,
                          int32_t, uint64_t>;
Fields FieldsOf(const GroupOrderModel& m) {
  return {m.itemId, m.parentId, m.name, m.type, m.order, m.createdTime};
}
std::vector<Fields> FieldsOf(const GroupOrderItems& items) {
  std::vector<Fields> fields;
  for (const auto& item : items) fields.push_back(FieldsOf(item));
  return fields;
}
std::map<std::string, Fields> FieldsOf(const GroupOrderMap& items) {
  std::map<std::string, Fields> fields;
  for (const auto& [id, item] : items) fields.emplace(id, FieldsOf(item));
  return fields;
}

std::string IdOf(const GroupOrderModel& item) { return item.itemId; }
std::string IdOf(const std::shared_ptr<GroupOrderModel>& item) { return item->itemId; }
std::string IdOf(const std::shared_ptr<GroupModel>& group) { return group->groupId.value(); }
template <typename List>
std::vector<std::string> Ids(const List& list) {
  std::vector<std::string> ids;
  for (const auto& entry : list) ids.push_back(IdOf(entry));
  return ids;
}
using Strings = std::vector<std::string>;

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

TEST_F(GroupServiceTest, AddChannelsAppendsAtTopLevelByCreationTime) {
  Load({Item("g", "", "Group", 4), Item("known", "g", "Channel", 1)});
  GroupOrderItems items = {Item("late", std::nullopt, "Channel", -1, 20),
                           Item("early", std::nullopt, "Channel", -1, 10),
                           Item("known", std::nullopt, "Channel", -1, 30)};
  items[2].name = "renamed";
  EXPECT_TRUE(service_->AddChannels(0, items));
  EXPECT_EQ(Ids(items), (Strings{"early", "late", "known"}));
  EXPECT_EQ(items[0].order, 5);
  EXPECT_EQ(items[2].order, 7);
  EXPECT_FALSE(service_->FindItem("late")->parentId.has_value());
  EXPECT_EQ(FieldsOf(*service_->FindItem("known")), FieldsOf(Item("known", "g", "Channel", 1)));
  EXPECT_EQ(store_->rows["known"].name, "renamed");
  EXPECT_EQ(store_->rows["known"].order, 7);
}

TEST_F(GroupServiceTest, MutationsChangeCacheThenStore) {
  // The cache takes a change even when the store refuses it; an update of
  // an item not cached inserts it.
  store_->fail = true;
  EXPECT_FALSE(service_->UpdateItems(0, {Item("x", "g", "Channel", 3)}));
  EXPECT_EQ(service_->FindItem("x")->order, 3);
  EXPECT_FALSE(service_->UpdateItems(0, {Item("x", std::nullopt, "Channel", 4)}));
  EXPECT_FALSE(service_->FindItem("x")->parentId.has_value());
  EXPECT_TRUE(service_->GetChildren("g").empty());
  EXPECT_FALSE(service_->RemoveItem(0, "x"));
  EXPECT_FALSE(service_->FindItem("x").has_value());
  EXPECT_EQ(store_->updates, 2);

  // Of rows with the same id, the first one listed (lowest order) wins.
  store_->fail = false;
  store_->rows["b"] = Item("b", "", "Channel", 5);
  store_->repeated_rows = {Item("b", "x", "Channel", 4), Item("b", "y", "Channel", 6)};
  service_->LoadItems();
  EXPECT_EQ(FieldsOf(*service_->FindItem("b")), FieldsOf(Item("b", "x", "Channel", 4)));
  EXPECT_EQ(service_->GetChildren("x").size(), 1u);
  EXPECT_TRUE(service_->GetChildren("y").empty());
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
  EXPECT_EQ(out, Strings{"leaf"});
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
  EXPECT_EQ(out, (Strings{"c", "d"}));
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
  void Collect(const std::string& id, std::set<std::string>& walked, Strings& out) const {
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
  Strings RemoveEmpty(std::string id) {
    Strings removed;
    while (!id.empty() && Children(id).empty()) {
      removed.push_back(id);
      auto found = items.find(id);
      if (found == items.end()) break;
      const std::optional<std::string> parent = found->second.parentId;
      items.erase(found);
      if (!parent) break;
      id = *parent;
    }
    return removed;
  }
  std::map<std::string, std::set<std::string>> Index() const {
    std::map<std::string, std::set<std::string>> index;
    for (const auto& [key, item] : items) {
      if (item.parentId) index[*item.parentId].insert(key);
    }
    return index;
  }
};

TEST_F(GroupServiceTest, IndexedWalksMatchPlainWalksOnRandomTreesAndLockedChangesAreTakenBack) {
  std::mt19937 random(20240607);
  auto pick = [&](int n) { return static_cast<int>(random() % n); };
  // Few ids and parents, so that moves, ties of orders and cycles are common;
  // some ids longer than the index copies, which it then keeps as views.
  auto named = [](const char* kind, int n) {
    return kind + std::to_string(n) + (n % 4 == 0 ? std::string(40, '-') : "");
  };
  auto id = [&] { return named(pick(3) ? "c" : "g", pick(12)); };
  auto item = [&] {
    const std::string item_id = pick(6) ? id() : "";
    const int choice = pick(5);
    std::optional<std::string> parent;
    if (choice > 0) parent = choice == 1 ? "" : named("g", pick(12));
    return Item(item_id, parent, item_id[0] == 'g' ? "Group" : "Channel", pick(6), pick(4));
  };
  Reference reference;
  for (int step = 0; step < 3000; ++step) {
    SCOPED_TRACE(step);
    GroupOrderItems batch = {item(), item()};
    GroupModelList groups;
    GroupOrderModelList modified;
    // A change that meets a locked store is taken back from the cache.
    const int change = pick(6);
    store_->locked = pick(4) == 0;
    const Reference before = reference;
    const bool kept = service_->RunRetryable([&] {
      switch (change) {
        case 0:
          batch[0].type = "Group";
          service_->CreateGroup(0, batch[0], modified);
          EXPECT_EQ(Ids(modified), Ids(reference.Shift(batch[0])));
          for (const auto& sibling : reference.Shift(batch[0])) {
            reference.items[sibling.itemId] = sibling;
          }
          reference.items.try_emplace(batch[0].itemId, batch[0]);
          break;
        case 1:
          service_->UpdateItems(0, batch);
          for (const auto& entry : batch) reference.items[entry.itemId] = entry;
          break;
        case 2:
          service_->RemoveItem(0, batch[0].itemId);
          reference.items.erase(batch[0].itemId);
          break;
        case 3:
          service_->AddChannels(0, batch);
          for (const auto& entry : batch) reference.items.try_emplace(entry.itemId, entry);
          break;
        case 4:
          service_->RemoveEmptyGroup(batch[0].itemId, groups, modified);
          EXPECT_EQ(Ids(modified), reference.RemoveEmpty(batch[0].itemId));
          EXPECT_EQ(Ids(groups), Ids(modified));
          break;
        default:
          service_->LoadItems();
          for (const auto& [key, row] : store_->rows) reference.items.try_emplace(key, row);
      }
    });
    if (store_->locked && change < 4) {
      EXPECT_FALSE(kept);
    }
    if (!kept) reference = before;
    store_->locked = false;
    ASSERT_EQ(FieldsOf(service_->GetItems()), FieldsOf(reference.items));
    ASSERT_EQ(service_->child_index(), reference.Index());
    const GroupOrderModel probe = item();
    EXPECT_EQ(FieldsOf(service_->GetChildren(probe.itemId)),
              FieldsOf(reference.Children(probe.itemId)));
    EXPECT_EQ(FieldsOf(service_->ShiftSiblings(probe)), FieldsOf(reference.Shift(probe)));
    Strings out;
    Strings expected;
    std::set<std::string> walked = {probe.itemId};
    service_->CollectChannels(probe.itemId, out);
    reference.Collect(probe.itemId, walked, expected);
    EXPECT_EQ(out, expected);
  }
}

// The start builds the cache as the rows arrive: whatever their order, it
// keeps of each id the row of lowest order, links every child, and a read
// that fails half way leaves the cache as it was.
TEST_F(GroupServiceTest, StartCachesTheSameTreeFromRowsInAnyOrder) {
  std::mt19937 random(20261206);
  auto pick = [&](int n) { return static_cast<int>(random() % n); };
  int32_t order = 0;
  auto add = [&](const std::string& id, std::optional<std::string> parent, const char* type) {
    GroupOrderModel row = Item(id, parent, type, order++, pick(9));
    if (store_->rows.count(id)) {
      store_->repeated_rows.push_back(row);
    } else {
      store_->rows[id] = row;
    }
  };
  auto parent = [&]() -> std::optional<std::string> {
    if (!pick(4)) return std::nullopt;
    return pick(5) ? "g" + std::to_string(pick(200)) : "";
  };
  // A large start is built on two threads, the later ids apart and joined
  // after. Its first rows by order ascend by id to six tenths of the ids:
  // read in that order they are cached before the rest, which go aside,
  // and one of the rest repeats the last of them. Many rows repeat the
  // middle id, each with a parent. Some items have parents on both sides,
  // some a parent only among the later ids, a type seen only there, or an
  // id that the index keeps as a view.
  auto large = [&] {
    auto id = [](int n) {
      char text[16];
      std::snprintf(text, sizeof(text), "c%06d", n);
      return std::string(text);
    };
    for (int n = 0; n < 30000; n += 6) add(id(n), parent(), "Channel");
    add(id(29994), parent(), "Channel");
    for (int i = 0; i < 40000; ++i) add(id(pick(50000)), parent(), pick(3) ? "Channel" : "Group");
    for (int i = 0; i < 500; ++i)
      add("z" + std::to_string(i) + std::string(40, '-'), "z", "Camera");
    std::vector<std::string> ids;
    for (const auto& row : store_->GetAll(0)) ids.push_back(row->itemId);
    std::nth_element(ids.begin(), ids.begin() + ids.size() / 2, ids.end());
    const std::string middle = ids[ids.size() / 2];
    for (int i = 0; i < 3000; ++i) add(middle, "g" + std::to_string(pick(200)), "Channel");
  };
  auto small = [&] {
    for (int i = 0; i < 600; ++i) {
      const std::string id = (pick(3) ? "c" : "g") + std::to_string(pick(200));
      add(id, parent(), id[0] == 'g' ? "Group" : "Channel");
    }
  };
  Reference expected;
  using Listing = FakeRepository::Listing;
  for (const auto& fill : {std::function<void()>(large), std::function<void()>(small)}) {
    store_->rows.clear();
    store_->repeated_rows.clear();
    fill();
    expected = Reference();
    for (const auto& row : store_->GetAll(0)) expected.items.try_emplace(row->itemId, *row);
    ASSERT_FALSE(store_->repeated_rows.empty());
    for (Listing listing : {Listing::kByOrder, Listing::kById, Listing::kByIdBackwards}) {
      store_->listing = listing;
      auto service = std::make_shared<GroupService>(store_);
      service->LoadItems();
      ASSERT_EQ(FieldsOf(service->GetItems()), FieldsOf(expected.items));
      const auto index = expected.Index();
      ASSERT_EQ(service->child_index(), index);
      // Walked, each link reaches its own item once.
      for (const auto& [id, children] : index) {
        Strings walked = Ids(service->GetChildren(id));
        std::sort(walked.begin(), walked.end());
        ASSERT_EQ(walked, Strings(children.begin(), children.end()));
      }
    }
  }

  store_->fail_after = 300;
  service_->LoadItems();
  EXPECT_TRUE(service_->GetItems().empty());
  EXPECT_TRUE(service_->child_index().empty());
  // A second start into a cache that holds items: those keep their values.
  store_->fail_after.reset();
  service_->UpdateItems(0, {Item("g1", "x", "Group", -7), Item("new", "g1", "Channel", 2)});
  const auto cached = service_->GetItems();
  store_->fail_after = 300;
  service_->LoadItems();
  EXPECT_EQ(FieldsOf(service_->GetItems()), FieldsOf(cached));
  store_->fail_after.reset();
  service_->LoadItems();
  for (const auto& [id, item] : cached) expected.items.insert_or_assign(id, item);
  EXPECT_EQ(FieldsOf(service_->GetItems()), FieldsOf(expected.items));
  EXPECT_EQ(service_->child_index(), expected.Index());
}

}  // namespace

}  // namespace pga
