// The repository and the service on each store: the SQLite file and a
// PostgreSQL database give the same rows and the same answers. The
// PostgreSQL cases need the test server of scripts/with-postgres and are
// skipped without it.
#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <memory>
#include <sstream>
#include <stdexcept>
#include <string>

#include "store/group_service.h"
#include "store/postgres_group_repository.h"
#include "store/postgres_test_schema.h"
#include "store/sqlite_group_repository.h"
#include "store/temp_store_dir.h"

namespace pga {

namespace {

enum class Store { kSqlite, kPostgres };
using Rows = std::vector<std::vector<std::string>>;

std::string StoreName(const testing::TestParamInfo<Store>& info) {
  return info.param == Store::kSqlite ? "Sqlite" : "Postgres";
}

class GroupStoreTest : public testing::TestWithParam<Store> {
 protected:
  void SetUp() override {
    if (GetParam() == Store::kSqlite) {
      dir_ = std::make_unique<TempStoreDir>();
      return;
    }
    if (PostgresTestSchema::Server().empty()) GTEST_SKIP() << "no test server";
    schema_ = std::make_unique<PostgresTestSchema>();
  }

  std::shared_ptr<IGroupRepository> Open() const {
    if (schema_) return std::make_shared<PostgresGroupRepository>(schema_->conninfo());
    return std::make_shared<SqliteGroupRepository>();
  }

  // The table as the database itself gives it.
  Rows Query(const std::string& sql) const {
    return schema_ ? schema_->Query(sql) : TempStoreDir::Query(sql);
  }

  // Makes the store refuse to write a row with the uuid `id`, each database
  // in its own way.
  void Refuse(const std::string& id) const {
    if (schema_) {
      schema_->Exec("ALTER TABLE logical_table ADD CONSTRAINT refuse CHECK (uuid <> '" + id + "')");
    } else {
      TempStoreDir::Query("CREATE TRIGGER refuse BEFORE INSERT ON logical_table WHEN NEW.uuid = '" +
                          id + "' BEGIN SELECT RAISE(ABORT, 'refused'); END");
    }
  }

  std::unique_ptr<TempStoreDir> dir_;
  std::unique_ptr<PostgresTestSchema> schema_;
};

GroupOrderModel Item(const std::string& id, std::optional<std::string> parent, const char* type,
                     int32_t order, uint64_t time = 7, std::string name = "") {
  GroupOrderModel item(id, "", name.empty() ? "name-" + id : name, type, order, time);
  item.parentId = std::move(parent);
  return item;
}

TEST_P(GroupStoreTest, RowsComeBackWithEveryBitAndTheirQuirks) {
  auto store = Open();
  const std::string long_name(40, 'n');
  const std::string odd_bytes = "\xff\xfe caf\xc3\xa9";
  ASSERT_TRUE(store->Save(0, Item("c1", std::nullopt, kChannelType, 1, 5, long_name)));
  ASSERT_TRUE(store->Save(0, Item("g1", "p", kGroupType, -3, UINT64_MAX, odd_bytes)));
  ASSERT_TRUE(store->Save(0, Item("g2", "", kGroupType, INT32_MIN, 1ull << 63)));
  ASSERT_TRUE(
      store->Save(0, Item("c2", "g1", kChannelType, INT32_MAX, 0, std::string("cut\0here", 8))));

  auto c1 = store->Get(0, "c1");
  ASSERT_NE(c1, nullptr);
  EXPECT_EQ(c1->parentId, std::optional<std::string>(""));
  EXPECT_EQ(c1->name, long_name);
  auto g1 = store->Get(0, "g1");
  EXPECT_EQ(g1->createdTime, UINT64_MAX);
  EXPECT_EQ(g1->name, odd_bytes);
  EXPECT_EQ(store->Get(0, "g2")->createdTime, 1ull << 63);
  EXPECT_EQ(store->Get(0, "c2")->name, "cut");
  // An absent parent is stored as the empty text; the 64 bits of a time as
  // the signed number they make.
  EXPECT_EQ(Query("SELECT parent_uuid, created_time FROM logical_table WHERE uuid IN ('c1', 'g1') "
                  "ORDER BY uuid"),
            (Rows{{"", "5"}, {"p", "-1"}}));

  auto missing = store->Get(0, "nobody");
  ASSERT_NE(missing, nullptr);
  EXPECT_EQ(missing->itemId, "");
  EXPECT_EQ(missing->order, 0);

  std::vector<std::string> by_order;
  for (const auto& item : store->GetAll(0)) by_order.push_back(item->itemId);
  EXPECT_EQ(by_order, (std::vector<std::string>{"g2", "g1", "c1", "c2"}));
  auto groups = store->GetGroups(0);
  ASSERT_EQ(groups.size(), 2u);
  EXPECT_FALSE(groups[0]->parentId.has_value());

  // Saving an id again replaces the row whole; Update moves it only.
  ASSERT_TRUE(store->Save(0, Item("c1", "g1", kChannelType, 4, 9, "Door")));
  ASSERT_TRUE(store->Update(0, {Item("c1", std::nullopt, "", 6, 0, "ignored")}));
  EXPECT_EQ(Query("SELECT uuid, parent_uuid, name, order_, created_time FROM logical_table "
                  "WHERE uuid = 'c1'"),
            (Rows{{"c1", "", "Door", "6", "9"}}));
  EXPECT_TRUE(store->Remove(0, "c1"));
  EXPECT_TRUE(store->Remove(0, "c1"));
  EXPECT_EQ(Query("SELECT count(*) FROM logical_table"), Rows{{"3"}});
}

TEST_P(GroupStoreTest, LastOrderCountsGroupsOnlyForTheGroupType) {
  auto store = Open();
  EXPECT_EQ(store->GetLastOrder(0, kGroupType, "p"), 0);
  store->SaveAll({Item("a", "p", kGroupType, 1), Item("b", "p", kGroupType, 4),
                  Item("c", "p", kChannelType, 9), Item("d", "q", kGroupType, 20)});
  EXPECT_EQ(store->GetLastOrder(0, kGroupType, "p"), 4);
  EXPECT_EQ(store->GetLastOrder(0, kChannelType, "p"), 9);
  EXPECT_EQ(store->GetLastOrder(0, "anything", "p"), 9);
  EXPECT_EQ(store->GetLastOrder(0, kGroupType, ""), 0);
  // Inside a batch too (where a shared store locks the parent first).
  int32_t last = -5;
  EXPECT_TRUE(store->RunBatch([&] { last = store->GetLastOrder(0, kGroupType, "p"); }));
  EXPECT_EQ(last, 4);
}

// Each write answers for itself. A failed statement ends a PostgreSQL
// transaction, so there the rest of the batch is not written and none of it
// is kept; SQLite goes on and keeps the others.
TEST_P(GroupStoreTest, BatchesJoinAndAFailureInsideIsLinesNotExceptions) {
  auto store = Open();
  const char* kRows = "SELECT uuid, parent_uuid, order_ FROM logical_table ORDER BY uuid";
  testing::internal::CaptureStdout();
  EXPECT_TRUE(store->RunBatch([&] {
    EXPECT_TRUE(store->Save(0, Item("a", "", kChannelType, 1)));
    EXPECT_TRUE(
        store->RunBatch([&] { EXPECT_TRUE(store->Save(0, Item("b", "", kChannelType, 2))); }));
    EXPECT_TRUE(store->Update(0, {Item("a", "g", "", 7), Item("none", "g", "", 8)}));
  }));
  EXPECT_TRUE(store->Update(0, {}));
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
  EXPECT_EQ(Query(kRows), (Rows{{"a", "g", "7"}, {"b", "", "2"}}));

  Refuse("bad");
  testing::internal::CaptureStdout();
  const bool kept = store->RunBatch([&] {
    EXPECT_TRUE(store->Save(0, Item("c", "", kChannelType, 3)));
    EXPECT_FALSE(store->Save(0, Item("bad", "", kChannelType, 4)));
    store->Save(0, Item("d", "", kChannelType, 5));
  });
  const std::string lines = testing::internal::GetCapturedStdout();
  EXPECT_NE(lines.find("GroupTable::Save "), std::string::npos) << lines;
  // Whatever the database says, each failure is one line naming the operation.
  std::istringstream in(lines);
  for (std::string line; std::getline(in, line);) {
    EXPECT_NE(line.find("Group"), std::string::npos) << line;
    EXPECT_NE(line.find("::"), std::string::npos) << line;
    EXPECT_EQ(line.find("::"), line.find_first_of(": ")) << line;
  }
  if (GetParam() == Store::kPostgres) {
    EXPECT_FALSE(kept);
    // The write after the failure was not sent, so it wrote no line of its own.
    EXPECT_EQ(lines.find("GroupTable::Save "), lines.rfind("GroupTable::Save ")) << lines;
    EXPECT_EQ(Query(kRows), (Rows{{"a", "g", "7"}, {"b", "", "2"}}));
  } else {
    EXPECT_TRUE(kept);
    EXPECT_EQ(Query(kRows),
              (Rows{{"a", "g", "7"}, {"b", "", "2"}, {"c", "", "3"}, {"d", "", "5"}}));
  }
  // Nothing is left open.
  EXPECT_TRUE(store->RunBatch([&] { store->Remove(0, "a"); }));
  EXPECT_EQ(Query("SELECT count(*) FROM logical_table WHERE uuid = 'a'"), Rows{{"0"}});

  // An exception out of the writes rolls their batch back and passes on;
  // the next batch keeps only its own writes.
  EXPECT_THROW(store->RunBatch([&] {
    store->Save(0, Item("e", "", kChannelType, 6));
    throw std::runtime_error("writer failed");
  }),
               std::runtime_error);
  EXPECT_TRUE(store->RunBatch([&] { store->Save(0, Item("f", "", kChannelType, 7)); }));
  EXPECT_EQ(Query("SELECT uuid FROM logical_table WHERE uuid IN ('e', 'f')"), Rows{{"f"}});

  // Keys without a table answer neutrally and write nothing.
  testing::internal::CaptureStdout();
  EXPECT_EQ(store->GetLastOrder(3, kGroupType, ""), -1);
  EXPECT_EQ(store->Get(3, "b"), nullptr);
  EXPECT_FALSE(store->Save(3, Item("e", "", kChannelType, 1)));
  EXPECT_NE(testing::internal::GetCapturedStdout().find("no table under key 3"), std::string::npos);
}

// SQLite's clear drops the table; the shared store's empties it in the
// open batch, so that every server goes on working.
TEST_P(GroupStoreTest, ReopenedStoreKeepsItsRowsAndClearDropsOrEmptiesTheTable) {
  {
    auto store = Open();
    EXPECT_TRUE(store->SaveAll({Item("c1", "", kChannelType, 1), Item("g1", "", kGroupType, 2)}));
  }
  auto store = Open();
  EXPECT_EQ(store->GetAll(0).size(), 2u);
  EXPECT_TRUE(store->Clear());
  if (GetParam() == Store::kPostgres) {
    EXPECT_TRUE(store->GetAll(0).empty());
    EXPECT_TRUE(store->Save(0, Item("c2", "", kChannelType, 3)));
    EXPECT_EQ(store->GetAll(0).size(), 1u);
    return;
  }
  testing::internal::CaptureStdout();
  EXPECT_TRUE(store->GetAll(0).empty());
  EXPECT_FALSE(store->Save(0, Item("c2", "", kChannelType, 3)));
  const std::string lines = testing::internal::GetCapturedStdout();
  EXPECT_NE(lines.find("GroupTable::GetAll "), std::string::npos) << lines;
  EXPECT_NE(lines.find("GroupTable::Save "), std::string::npos) << lines;
}

// The service's numbering, shifts and removals reach the table, and a new
// service on the reopened store caches exactly the table.
TEST_P(GroupStoreTest, ServiceChangesReachTheTableAndLoadBack) {
  auto service = std::make_shared<GroupService>(Open());
  GroupOrderItems channels = {Item("c30", std::nullopt, kChannelType, -1, 30),
                              Item("c10", std::nullopt, kChannelType, -1, 10),
                              Item("c20", std::nullopt, kChannelType, -1, 20)};
  EXPECT_TRUE(service->AddChannels(0, channels));
  EXPECT_TRUE(service->UpdateItems(
      0, {Item("c10", "p", kChannelType, 1, 10), Item("c20", "p", kChannelType, 2, 20)}));
  GroupOrderModel group = Item("g", "p", kGroupType, -1);
  GroupOrderModelList shifted;
  ASSERT_TRUE(service->CreateGroup(0, group, shifted));
  EXPECT_EQ(group.order, 1);
  EXPECT_EQ(shifted.size(), 2u);
  EXPECT_EQ(Query("SELECT uuid, parent_uuid, order_ FROM logical_table ORDER BY uuid"),
            (Rows{{"c10", "p", "2"}, {"c20", "p", "3"}, {"c30", "", "3"}, {"g", "p", "1"}}));

  GroupModelList removed_groups;
  GroupOrderModelList removed_items;
  service->RemoveItem(0, "c10");
  service->RemoveItem(0, "c20");
  service->RemoveEmptyGroup("g", removed_groups, removed_items);
  EXPECT_EQ(removed_items.size(), 2u);  // g, then its parent p (never stored)
  EXPECT_EQ(Query("SELECT uuid FROM logical_table"), Rows{{"c30"}});

  service->SaveItem(0, Item("h", std::nullopt, kGroupType, 5));
  service.reset();
  auto reloaded = std::make_shared<GroupService>(Open());
  reloaded->LoadItems();
  GroupOrderMap expected;
  for (const auto& row : Query("SELECT uuid, parent_uuid, name, type, order_, created_time "
                               "FROM logical_table")) {
    expected.emplace(row[0], GroupOrderModel(row[0], row[1], row[2], row[3], std::stoi(row[4]),
                                             std::stoull(row[5])));
  }
  ASSERT_EQ(reloaded->items().size(), 2u);
  for (const auto& [id, item] : reloaded->GetItems()) {
    EXPECT_EQ(item.parentId, expected.at(id).parentId) << id;
    EXPECT_EQ(item.order, expected.at(id).order) << id;
    EXPECT_EQ(item.name, expected.at(id).name) << id;
  }
}

INSTANTIATE_TEST_SUITE_P(BothStores, GroupStoreTest,
                         testing::Values(Store::kSqlite, Store::kPostgres), StoreName);

}  // namespace

}  // namespace pga
