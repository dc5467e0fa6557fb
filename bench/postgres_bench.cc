// The group component on the PostgreSQL store at site scale, each benchmark
// beside the same SQL run through libpq on the same tree in the same run;
// and the time a change on one server takes to reach the other's listener.
// Needs the server of scripts/with-postgres (scripts/bench-postgres runs it).
#include <benchmark/benchmark.h>
#include <libpq-fe.h>
#include <stdlib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <stdexcept>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "bench/bench_app.h"
#include "bench/bench_requests.h"
#include "bench/bench_tree.h"
#include "bench/stopwatch.h"
#include "doubles/component_driver.h"
#include "doubles/recording_event_queue.h"
#include "group/channel_list_param.h"
#include "group/group_request_param.h"
#include "records/i_device_listener.h"
#include "store/change_notice.h"
#include "store/open_group_store.h"
#include "store/postgres_group_repository.h"
#include "store/postgres_test_schema.h"

namespace pga {

namespace {

constexpr std::size_t kStoredItems = 50000;

// The statements the store runs, as the baseline runs them.
constexpr char kColumns[] = "uuid, parent_uuid, name, type, order_, created_time";
constexpr char kReadLog[] =
    "SELECT seq, xact, kind, record FROM (SELECT 0::bigint AS seq, upto AS xact, ''::text AS kind,"
    " ''::text AS record FROM logical_change_trim UNION ALL (SELECT seq, xact, kind, record FROM"
    " logical_change_log WHERE seq > $1 ORDER BY seq LIMIT 1000)) AS tail ORDER BY seq";
constexpr char kLogEnd[] =
    "SELECT GREATEST(COALESCE((SELECT MAX(seq) FROM logical_change_log), 0),"
    " COALESCE((SELECT MAX(upto) FROM logical_change_trim), 0))";
constexpr char kLastGroup[] =
    "SELECT MAX(order_) FROM logical_table WHERE parent_uuid = $1 and type ='Group'";
constexpr char kLast[] = "SELECT MAX(order_) FROM logical_table WHERE parent_uuid = $1";
constexpr char kUpdate[] = "UPDATE logical_table SET order_ = $1, parent_uuid = $2 WHERE uuid = $3";
constexpr char kSave[] =
    "INSERT INTO logical_table (uuid, parent_uuid, name, type, order_, created_time) VALUES "
    "($1,$2,$3,$4,$5,$6) ON CONFLICT (uuid) DO UPDATE SET parent_uuid = EXCLUDED.parent_uuid,"
    " name = EXCLUDED.name, type = EXCLUDED.type, order_ = EXCLUDED.order_,"
    " created_time = EXCLUDED.created_time";
// A change's transaction begins with the store's change lock, in BEGIN's
// round trip.
constexpr char kBeginChange[] = "BEGIN; SELECT pg_advisory_xact_lock(25068, 0)";
constexpr char kAppend[] =
    "WITH added AS (INSERT INTO logical_change_log (kind, record) SELECT kind, record FROM"
    " unnest($1::text[], $2::text[]) WITH ORDINALITY AS notice(kind, record, place) ORDER BY"
    " place RETURNING seq) SELECT min(seq), max(seq),"
    " pg_notify('logical_table_changes', max(seq)::text) FROM added";
constexpr char kSelectAll[] =
    "SELECT uuid, parent_uuid, name, type, order_, created_time FROM logical_table ORDER BY "
    "uuid COLLATE \"C\", order_";
// The start's own statement: the rows as the server keeps them.
constexpr char kSelectAsStored[] =
    "SELECT uuid, parent_uuid, name, type, order_, created_time FROM logical_table";

// The server's connection string for one schema, and the schema itself,
// holding `tree` as the store lays it out.
class BenchSchema {
 public:
  explicit BenchSchema(const BenchTree& tree) : tree_(tree) {
    // Opening a repository once makes the store's tables.
    PostgresGroupRepository make_tables(schema_.conninfo());
    Reinstall();
  }
  // The tree again, as it was made, and an empty log.
  void Reinstall() const {
    schema_.Exec("TRUNCATE logical_table, logical_change_log");
    PGconn* connection = PQconnectdb(schema_.conninfo().c_str());
    PQclear(PQexec(connection,
                   "COPY logical_table (uuid, parent_uuid, name, type, order_, "
                   "created_time) FROM STDIN"));
    std::string data;
    for (const TreeRow& row : tree_.rows()) {
      data += row.id + "\t" + row.parent + "\t" + row.name + "\t" + row.type + "\t" +
              std::to_string(row.order) + "\t" + std::to_string(row.created_time) + "\n";
    }
    PQputCopyData(connection, data.data(), static_cast<int>(data.size()));
    PQputCopyEnd(connection, nullptr);
    PGresult* result = PQgetResult(connection);
    const bool copied = PQresultStatus(result) == PGRES_COMMAND_OK;
    PQclear(result);
    PQfinish(connection);
    if (!copied) throw std::runtime_error("COPY failed");
    schema_.Exec("ANALYZE logical_table");
  }
  std::string conninfo() const { return schema_.conninfo(); }

 private:
  const BenchTree& tree_;
  PostgresTestSchema schema_;
};

// The baseline's connection: statements prepared once and run with text
// parameters, as the store runs them.
class Libpq {
 public:
  explicit Libpq(const std::string& conninfo) : connection_(PQconnectdb(conninfo.c_str())) {
    if (PQstatus(connection_) != CONNECTION_OK) throw std::runtime_error("cannot connect");
    PQsetNoticeProcessor(
        connection_, [](void*, const char*) {}, nullptr);
  }
  Libpq(const Libpq&) = delete;
  Libpq& operator=(const Libpq&) = delete;
  ~Libpq() { PQfinish(connection_); }

  // Runs `sql` prepared under its own text as name; answers the result.
  PGresult* Run(const char* sql, const std::vector<std::string>& parameters = {}) {
    if (prepared_.insert(sql).second) {
      PQclear(PQprepare(connection_, sql, sql, static_cast<int>(parameters.size()), nullptr));
    }
    std::vector<const char*> values;
    for (const std::string& parameter : parameters) values.push_back(parameter.c_str());
    PGresult* result = PQexecPrepared(connection_, sql, static_cast<int>(values.size()),
                                      values.data(), nullptr, nullptr, 0);
    const ExecStatusType status = PQresultStatus(result);
    if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK) {
      const std::string message = PQresultErrorMessage(result);
      PQclear(result);
      throw std::runtime_error(message);
    }
    return result;
  }
  void Do(const char* sql, const std::vector<std::string>& parameters = {}) {
    PQclear(Run(sql, parameters));
  }
  void Simple(const char* sql) { PQclear(PQexec(connection_, sql)); }
  // Logs the notices of one change as the store does; answers the number
  // of its last one, where a reader of the log goes on from.
  std::string Append(const ChangeNotices& notices) {
    std::vector<std::string> arrays = {"{", "{"};
    for (const ChangeNotice& notice : notices) {
      const LoggedNotice logged = ToLogged(notice);
      for (auto [array, text] :
           {std::pair{&arrays[0], &logged.kind}, {&arrays[1], &logged.record}}) {
        if (array->size() > 1) *array += ',';
        *array += '"';
        for (char c : *text) {
          if (c == '"' || c == '\\') *array += '\\';
          *array += c;
        }
        *array += '"';
      }
    }
    for (std::string& array : arrays) array += '}';
    PGresult* added = Run(kAppend, arrays);
    std::string last = PQgetvalue(added, 0, 1);
    PQclear(added);
    return last;
  }

 private:
  PGconn* connection_;
  std::set<std::string> prepared_;
};

// A component on the shared store of the PGA_STORE variable.
void UseStore(const BenchSchema& schema) { setenv(kStoreVariable, schema.conninfo().c_str(), 1); }

std::shared_ptr<GroupOrderModel> ItemOf(const std::string& id, const std::string& parent,
                                        const std::string& type, int32_t order) {
  auto item = std::make_shared<GroupOrderModel>();
  item->itemId = id;
  item->parentId = parent;
  item->type = type;
  item->order = order;
  return item;
}

// A new group under the crowded parent: after its 20 groups, moving its 180
// channels back. Untimed, the group is deleted and the channels put back.
void BM_CreateGroup(benchmark::State& state) {
  Stopwatch watch(state);
  const BenchTree& tree = SharedTree(kStoredItems);
  BenchSchema schema(tree);
  UseStore(schema);
  BenchApp app;
  app.Open();
  uint64_t serial = 0;
  for (auto _ : state) {
    auto group = std::make_shared<GroupModel>();
    group->groupId = BenchTree::Uuid(7, serial++);
    group->groupName = "Bench group";
    group->parentId = tree.crowded_parent();
    watch.Start();
    std::unique_ptr<Event> event = app.Deliver(eCreateLogicalGroup, GroupRequest(group));
    watch.Stop();
    if (!Succeeded(*event) || app.DropNotifications() != 3) {
      state.SkipWithError("group not created");
      break;
    }
    auto gone = std::make_shared<GroupModel>();
    gone->groupId = group->groupId;
    app.Deliver(eDeleteLogicalGroup, GroupRequest(gone));
    app.Deliver(eModifyLogicalMapping, CrowdedChannelsBack(tree));
    app.DropNotifications();
  }
}
BENCHMARK(BM_CreateGroup)->MinTime(2.0)->UseManualTime()->Unit(benchmark::kMicrosecond);

// The same SQL: in one transaction that begins with the change lock, the
// log is read, the parent's last group read, the 180 channels moved, the
// group inserted and the three notices logged with their notification.
void BM_LibpqCreateGroup(benchmark::State& state) {
  Stopwatch watch(state);
  const BenchTree& tree = SharedTree(kStoredItems);
  BenchSchema schema(tree);
  Libpq db(schema.conninfo());
  const std::string parent = tree.crowded_parent();
  uint64_t serial = 0;
  int32_t shift = 1;
  // Where the log is read from: after the last change, as the component
  // reads it.
  std::string position = "0";
  for (auto _ : state) {
    const std::string id = BenchTree::Uuid(7, serial++);
    ChangeNotices notices;
    auto group = std::make_shared<GroupModel>(id, "Bench group", 1800000000000);
    group->parentId = parent;
    notices.push_back({"LogicalGroupCreated", std::make_shared<WebsocketEventModel>()});
    notices.back().record->groups->push_back(group);
    notices.push_back({"LogicalMappingCreated", std::make_shared<WebsocketEventModel>()});
    notices.back().record->logicalItems->push_back(ItemOf(id, parent, "Group", 21));
    notices.push_back({"LogicalMappingModified", std::make_shared<WebsocketEventModel>()});
    for (std::size_t i = 0; i < tree.crowded_channels().size(); ++i) {
      notices.back().record->logicalItems->push_back(
          ItemOf(tree.crowded_channels()[i], parent, "Channel", static_cast<int32_t>(22 + i)));
    }
    watch.Start();
    db.Simple(kBeginChange);
    db.Do(kReadLog, {position});
    db.Do(kLastGroup, {parent});
    for (std::size_t i = 0; i < tree.crowded_channels().size(); ++i) {
      db.Do(kUpdate, {std::to_string(21 + i + shift), parent, tree.crowded_channels()[i]});
    }
    db.Do(kSave, {id, parent, "Bench group", "Group", "21", "1800000000000"});
    position = db.Append(notices);
    db.Simple("COMMIT");
    watch.Stop();
    db.Do("DELETE FROM logical_table WHERE uuid = $1", {id});
    shift = 1 - shift;
  }
}
BENCHMARK(BM_LibpqCreateGroup)->MinTime(2.0)->UseManualTime()->Unit(benchmark::kMicrosecond);

void BM_AddChannels(benchmark::State& state) {
  Stopwatch watch(state);
  const BenchTree& tree = SharedTree(kStoredItems);
  BenchSchema schema(tree);
  UseStore(schema);
  uint64_t batch = 0;
  for (auto _ : state) {
    schema.Reinstall();
    BenchApp app;
    app.Open();
    ChannelListParam* report = NewChannels(state.range(0), batch++);
    watch.Start();
    app.Deliver(eChannelsAdded, report);
    watch.Stop();
    if (app.app().service()->items().size() != kStoredItems + state.range(0)) {
      state.SkipWithError("channels were not added");
    }
  }
}
BENCHMARK(BM_AddChannels)
    ->Arg(10000)
    ->Iterations(3)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

// The same SQL: the change lock with BEGIN, the log read, the top level's
// last order read, the channels inserted one by one and their notice
// logged.
void BM_LibpqAddChannels(benchmark::State& state) {
  Stopwatch watch(state);
  const BenchTree& tree = SharedTree(kStoredItems);
  BenchSchema schema(tree);
  uint64_t batch = 0;
  for (auto _ : state) {
    schema.Reinstall();
    Libpq db(schema.conninfo());
    const std::size_t count = static_cast<std::size_t>(state.range(0));
    std::vector<std::vector<std::string>> rows;
    ChangeNotices notices = {{"LogicalMappingCreated", std::make_shared<WebsocketEventModel>()}};
    for (std::size_t i = 0; i < count; ++i) {
      const std::string id = BenchTree::Uuid(6, batch * count + i);
      const int32_t order = static_cast<int32_t>(kStoredItems + 1 + i);
      rows.push_back({id, "", "New camera " + std::to_string(i), "Channel", std::to_string(order),
                      std::to_string(1800000000000 + i)});
      notices.front().record->logicalItems->push_back(ItemOf(id, "", "Channel", order));
      notices.front().record->logicalItems->back()->parentId.reset();
    }
    ++batch;
    watch.Start();
    db.Simple(kBeginChange);
    db.Do(kReadLog, {"0"});
    db.Do(kLast, {""});
    for (const auto& row : rows) db.Do(kSave, row);
    db.Append(notices);
    db.Simple("COMMIT");
    watch.Stop();
  }
}
BENCHMARK(BM_LibpqAddChannels)
    ->Arg(10000)
    ->Iterations(3)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

void BM_Start(benchmark::State& state) {
  Stopwatch watch(state);
  BenchSchema schema(SharedTree(state.range(0)));
  UseStore(schema);
  for (auto _ : state) {
    BenchApp app;
    app.Create();
    watch.Start();
    app.Start();
    watch.Stop();
    if (app.app().service()->items().size() != static_cast<std::size_t>(state.range(0))) {
      state.SkipWithError("tree not loaded");
      break;
    }
  }
}
BENCHMARK(BM_Start)
    ->Arg(kStoredItems)
    ->MinTime(2.0)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

// The same SQL: the log's end, then every row read into values. Each round
// reads on a connection opened just before, as the component's start does
// (it connects when it is created): a server process that has run the
// statements before has its catalog and plans at hand, which made this
// baseline 3-6 ms (10-20%) faster than any start can be.
void LibpqStart(benchmark::State& state, const char* select) {
  Stopwatch watch(state);
  BenchSchema schema(SharedTree(state.range(0)));
  for (auto _ : state) {
    Libpq db(schema.conninfo());
    watch.Start();
    db.Do(kLogEnd);
    PGresult* result = db.Run(select);
    std::vector<TreeRow> rows(PQntuples(result));
    for (int i = 0; i < PQntuples(result); ++i) {
      TreeRow& row = rows[i];
      row.id.assign(PQgetvalue(result, i, 0), PQgetlength(result, i, 0));
      row.parent.assign(PQgetvalue(result, i, 1), PQgetlength(result, i, 1));
      row.name.assign(PQgetvalue(result, i, 2), PQgetlength(result, i, 2));
      row.type.assign(PQgetvalue(result, i, 3), PQgetlength(result, i, 3));
      row.order = static_cast<int32_t>(std::strtol(PQgetvalue(result, i, 4), nullptr, 10));
      row.created_time = std::strtoll(PQgetvalue(result, i, 5), nullptr, 10);
    }
    PQclear(result);
    watch.Stop();
    if (rows.size() != static_cast<std::size_t>(state.range(0))) {
      state.SkipWithError("wrong row count");
      break;
    }
  }
}
// The rows sorted by id, as the item cache keeps them.
void BM_LibpqStart(benchmark::State& state) { LibpqStart(state, kSelectAll); }
// Context, not a target: the same rows as the server keeps them, the
// start's own read.
void BM_LibpqStartAsStored(benchmark::State& state) { LibpqStart(state, kSelectAsStored); }
BENCHMARK(BM_LibpqStart)
    ->Arg(kStoredItems)
    ->MinTime(2.0)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LibpqStartAsStored)
    ->Arg(kStoredItems)
    ->MinTime(2.0)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

// One server of a pair: a component on the shared store with a listener
// of its own. The allocator must be installed while it lives.
class Site {
 public:
  Site() {
    app_ = new ("GroupApplication") GroupApplication();
    driver_ = std::make_unique<ComponentDriver>(*app_);
    driver_->Allocate();
    driver_->AssociateReceiver("DeviceListener", listener_, 77);
    driver_->Begin();
  }
  ~Site() {
    driver_->End();
    driver_.reset();
    delete app_;
    listener_.TakeEvents();
  }
  std::unique_ptr<Event> Deliver(std::uint32_t type, BaseObject* payload) {
    std::unique_ptr<Event> event = driver_->MakeEvent(type, 0, payload);
    driver_->Deliver(*event);
    return event;
  }
  RecordingEventQueue& listener() { return listener_; }

 private:
  RecordingEventQueue listener_;
  GroupApplication* app_ = nullptr;
  std::unique_ptr<ComponentDriver> driver_;
};

double Percentile(std::vector<double> values, double fraction) {
  std::sort(values.begin(), values.end());
  return values[static_cast<std::size_t>(fraction * static_cast<double>(values.size() - 1))];
}

// A group is created on one server; timed from the moment its request is
// answered there (committed and acknowledged) until the other server's
// listener has its first notification ("after_ack"), and from the moment
// the request was delivered ("after_request"). Medians and 99th percentiles
// in microseconds, over state.range(0) changes.
void BM_PropagationLatency(benchmark::State& state) {
  BenchSchema schema(SharedTree(BenchTree::kFixedItems));
  UseStore(schema);
  MallocAllocator allocator;
  InstallAllocator(&allocator);
  {
    Site from;
    Site to;
    std::vector<double> after_ack;
    std::vector<double> after_request;
    using Clock = std::chrono::steady_clock;
    auto micros = [](Clock::duration d) {
      return std::chrono::duration<double, std::micro>(d).count();
    };
    for (auto _ : state) {
      for (int64_t i = 0; i < state.range(0); ++i) {
        auto group = std::make_shared<GroupModel>();
        group->groupId = BenchTree::Uuid(8, static_cast<uint64_t>(i));
        group->groupName = "Latency " + std::to_string(i);
        const Clock::time_point requested = Clock::now();
        std::unique_ptr<Event> event = from.Deliver(eCreateLogicalGroup, GroupRequest(group));
        const Clock::time_point answered = Clock::now();
        const bool arrived = to.listener().WaitForEvents(std::chrono::seconds(5));
        const Clock::time_point notified = Clock::now();
        if (!arrived || !Succeeded(*event)) {
          state.SkipWithError("the change did not reach the other server");
          break;
        }
        after_ack.push_back(micros(notified - answered));
        after_request.push_back(micros(notified - requested));
        // Both notifications of the change, before the next one is timed.
        std::size_t taken = to.listener().TakeEvents().size();
        while (taken < 2 && to.listener().WaitForEvents(std::chrono::seconds(5))) {
          taken += to.listener().TakeEvents().size();
        }
        from.listener().TakeEvents();
      }
      double total = 0;
      for (double v : after_request) total += v;
      state.SetIterationTime(total * 1e-6);
    }
    if (!after_ack.empty()) {
      state.counters["after_ack_p50_us"] = Percentile(after_ack, 0.5);
      state.counters["after_ack_p99_us"] = Percentile(after_ack, 0.99);
      state.counters["after_request_p50_us"] = Percentile(after_request, 0.5);
      state.counters["after_request_p99_us"] = Percentile(after_request, 0.99);
    }
  }
  InstallAllocator(nullptr);
}
BENCHMARK(BM_PropagationLatency)
    ->Arg(1000)
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

// Three servers make changes at once, each creating groups under a parent
// of its own as fast as its requests are answered, all of them under the
// store's one change lock: changes per second over the three, and how long
// after its acknowledgement a change reaches each other server's listener
// (median and 99th percentile in microseconds), over state.range(0)
// changes per server.
void BM_ThreeServersAtOnce(benchmark::State& state) {
  BenchSchema schema(SharedTree(BenchTree::kFixedItems));
  UseStore(schema);
  MallocAllocator allocator;
  InstallAllocator(&allocator);
  {
    using Clock = std::chrono::steady_clock;
    constexpr int kServers = 3;
    std::mutex mutex;
    std::map<std::string, Clock::time_point> acknowledged;
    std::vector<std::pair<std::string, Clock::time_point>> arrivals;
    Site sites[kServers];
    for (int k = 0; k < kServers; ++k) {
      sites[k].listener().SetOnPut([&, k](const Event& event) {
        auto* param = dynamic_cast<IDeviceListener::EventParam*>(event.GetObjectArgument());
        if (param == nullptr || param->eventType != "LogicalGroupCreated" || !param->message ||
            param->message->groups->empty()) {
          return;
        }
        const std::string id = param->message->groups->front()->groupId.value_or("");
        if (id.rfind("s" + std::to_string(k), 0) == 0) return;  // its own
        std::lock_guard<std::mutex> lock(mutex);
        arrivals.emplace_back(id, Clock::now());
      });
    }
    const int64_t each = state.range(0);
    for (auto _ : state) {
      const Clock::time_point start = Clock::now();
      std::vector<std::thread> servers;
      for (int k = 0; k < kServers; ++k) {
        servers.emplace_back([&, k] {
          for (int64_t i = 0; i < each; ++i) {
            auto group = std::make_shared<GroupModel>();
            group->groupId = "s" + std::to_string(k) + "-" + std::to_string(i);
            group->groupName = "Busy " + std::to_string(i);
            group->parentId = "busy-" + std::to_string(k);
            std::unique_ptr<Event> event =
                sites[k].Deliver(eCreateLogicalGroup, GroupRequest(group));
            const Clock::time_point now = Clock::now();
            if (!Succeeded(*event)) continue;
            std::lock_guard<std::mutex> lock(mutex);
            acknowledged[*group->groupId] = now;
          }
        });
      }
      for (std::thread& server : servers) server.join();
      const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
      state.SetIterationTime(seconds);
      state.counters["changes_per_second"] = static_cast<double>(acknowledged.size()) / seconds;
    }
    const std::size_t expected = acknowledged.size() * (kServers - 1);
    for (int waited = 0; waited < 1000; ++waited) {
      {
        std::lock_guard<std::mutex> lock(mutex);
        if (arrivals.size() >= expected) break;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    std::vector<double> delays;
    {
      std::lock_guard<std::mutex> lock(mutex);
      for (const auto& [id, when] : arrivals) {
        auto it = acknowledged.find(id);
        // A change can reach a listener a moment before its own server
        // has handed back the answer: counted as no delay.
        if (it != acknowledged.end()) {
          delays.push_back(
              std::max(0.0, std::chrono::duration<double, std::micro>(when - it->second).count()));
        }
      }
      if (acknowledged.size() != static_cast<std::size_t>(kServers * each) ||
          arrivals.size() != expected) {
        state.SkipWithError("a change failed or did not reach every other server");
      }
    }
    if (!delays.empty()) {
      state.counters["propagation_p50_us"] = Percentile(delays, 0.5);
      state.counters["propagation_p99_us"] = Percentile(delays, 0.99);
    }
  }
  InstallAllocator(nullptr);
}
BENCHMARK(BM_ThreeServersAtOnce)
    ->Arg(300)
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

// The store refuses changes (a trigger stands for a database that is away)
// while state.range(0) channel reports of one channel each come; they are
// kept. Timed: once the store takes changes again, the next request, which
// stores every kept report (with its notification) before its own change.
void BM_KeptReportsCatchUp(benchmark::State& state) {
  Stopwatch watch(state);
  BenchSchema schema(SharedTree(BenchTree::kFixedItems));
  UseStore(schema);
  MallocAllocator allocator;
  InstallAllocator(&allocator);
  const std::size_t count = static_cast<std::size_t>(state.range(0));
  uint64_t batch = 0;
  for (auto _ : state) {
    schema.Reinstall();
    Libpq db(schema.conninfo());
    Site site;
    db.Simple(
        "CREATE OR REPLACE FUNCTION refuse() RETURNS trigger LANGUAGE plpgsql AS "
        "$$ BEGIN RAISE EXCEPTION 'refused for now'; END $$;"
        "CREATE TRIGGER refuse BEFORE INSERT ON logical_table FOR EACH ROW EXECUTE "
        "FUNCTION refuse()");
    for (std::size_t i = 0; i < count; ++i) site.Deliver(eChannelsAdded, NewChannels(1, batch++));
    db.Simple("DROP TRIGGER refuse ON logical_table");
    auto group = std::make_shared<GroupModel>();
    group->groupId = BenchTree::Uuid(8, batch);
    group->groupName = "After the outage";
    watch.Start();
    std::unique_ptr<Event> event = site.Deliver(eCreateLogicalGroup, GroupRequest(group));
    watch.Stop();
    // One notification per report, two for the group.
    if (!Succeeded(*event) || site.listener().TakeEvents().size() != count + 2) {
      state.SkipWithError("the kept reports were not all stored");
      break;
    }
  }
  InstallAllocator(nullptr);
}
BENCHMARK(BM_KeptReportsCatchUp)
    ->Arg(2000)
    ->Iterations(3)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

// The same reports stored one change each through libpq: the change lock
// with BEGIN, the log read, the last order read, the channel inserted, its
// notice logged, the commit.
void BM_LibpqReportsOneByOne(benchmark::State& state) {
  Stopwatch watch(state);
  BenchSchema schema(SharedTree(BenchTree::kFixedItems));
  const std::size_t count = static_cast<std::size_t>(state.range(0));
  uint64_t batch = 0;
  for (auto _ : state) {
    schema.Reinstall();
    Libpq db(schema.conninfo());
    std::vector<std::vector<std::string>> rows;
    std::vector<ChangeNotices> notices;
    for (std::size_t i = 0; i < count; ++i) {
      const std::string id = BenchTree::Uuid(6, batch++);
      const int32_t order = static_cast<int32_t>(BenchTree::kFixedItems + 1 + i);
      rows.push_back({id, "", "New camera", "Channel", std::to_string(order),
                      std::to_string(1800000000000 + i)});
      notices.push_back({{"LogicalMappingCreated", std::make_shared<WebsocketEventModel>()}});
      notices.back().front().record->logicalItems->push_back(ItemOf(id, "", "Channel", order));
    }
    std::string seen = "0";
    watch.Start();
    for (std::size_t i = 0; i < count; ++i) {
      db.Simple(kBeginChange);
      db.Do(kReadLog, {seen});
      db.Do(kLast, {""});
      db.Do(kSave, rows[i]);
      seen = db.Append(notices[i]);
      db.Simple("COMMIT");
    }
    watch.Stop();
  }
}
BENCHMARK(BM_LibpqReportsOneByOne)
    ->Arg(2000)
    ->Iterations(3)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace

}  // namespace pga

using namespace pga;

int main(int argc, char** argv) {
  if (PostgresTestSchema::Server().empty()) {
    std::fprintf(stderr, "postgres_bench: no server; run it through scripts/bench-postgres\n");
    return 2;
  }
  // scripts/bench-postgres --scale: the start and its baseline on a store
  // of 1,001,000 items instead (building it takes a while).
  if (std::getenv("PGA_BENCH_SCALE") != nullptr) {
    for (auto* benchmark :
         {benchmark::RegisterBenchmark("BM_Start", BM_Start),
          benchmark::RegisterBenchmark("BM_LibpqStart", BM_LibpqStart),
          benchmark::RegisterBenchmark("BM_LibpqStartAsStored", BM_LibpqStartAsStored)}) {
      benchmark->Arg(1001000)->Iterations(3)->UseManualTime()->Unit(benchmark::kMillisecond);
    }
  }
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
