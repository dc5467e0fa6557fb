// Another process holds a lock on "group.db" (a read transaction, or a write
// lock) while the component starts, handles requests and stops. Nothing may
// wait the connection's 60-second timeout: starting and stopping do not wait
// at all for the switch of journal, and a request waits a bounded time, then
// answers as a store failure. Nothing acknowledged is lost.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "group/channel_list_param.h"
#include "group/group_application_test_support.h"
#include "runtime/vector.h"

namespace pga {

namespace {

// Far below the 60 s the connection would wait without its own lock wait,
// far above what a wait of SqliteLockWait's limit takes.
constexpr double kBoundSeconds = 10.0;

// The sqlite3 shell on "group.db" of the current directory, in a process of
// its own, fed one command at a time.
class OtherProcess {
 public:
  OtherProcess() {
    int in[2];
    int out[2];
    if (pipe(in) != 0 || pipe(out) != 0) return;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, in[0], STDIN_FILENO);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDERR_FILENO);
    posix_spawn_file_actions_addclose(&actions, in[1]);
    posix_spawn_file_actions_addclose(&actions, out[0]);
    const char* argv[] = {"sqlite3", "group.db", nullptr};
    if (posix_spawnp(&pid_, "sqlite3", &actions, nullptr, const_cast<char* const*>(argv),
                     environ) != 0) {
      pid_ = -1;
    }
    posix_spawn_file_actions_destroy(&actions);
    close(in[0]);
    close(out[1]);
    to_ = fdopen(in[1], "w");
    from_ = fdopen(out[0], "r");
    // Its own statements may wait for ours, which never hold a lock long.
    Run(".timeout 5000");
  }
  ~OtherProcess() {
    if (to_ != nullptr) std::fclose(to_);
    if (from_ != nullptr) std::fclose(from_);
    if (pid_ > 0) waitpid(pid_, nullptr, 0);
  }
  OtherProcess(const OtherProcess&) = delete;
  OtherProcess& operator=(const OtherProcess&) = delete;

  // Runs `command` and gives what it printed (error messages included).
  std::string Run(const std::string& command) {
    if (pid_ <= 0 || to_ == nullptr) return "no sqlite3 shell";
    std::fprintf(to_, "%s\n.print --done--\n", command.c_str());
    std::fflush(to_);
    std::string printed;
    char line[4096];
    while (std::fgets(line, sizeof line, from_) != nullptr) {
      if (std::string(line) == "--done--\n") break;
      printed += line;
    }
    return printed;
  }

 private:
  pid_t pid_ = -1;
  std::FILE* to_ = nullptr;
  std::FILE* from_ = nullptr;
};

class LockedStoreTest : public GroupApplicationTest {
 protected:
  template <typename Body>
  static double Seconds(Body&& body) {
    const auto start = std::chrono::steady_clock::now();
    body();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  }

  // Whether the file's header names the write-ahead log (bytes 18 and 19).
  static bool InWriteAheadLog() {
    std::ifstream file("group.db", std::ios::binary);
    char header[20] = {};
    file.read(header, sizeof header);
    return header[18] == 2 && header[19] == 2;
  }

  void AddChannel(const std::string& id) {
    auto* report = new ("ChannelListParam") ChannelListParam();
    auto channel = std::make_shared<ChannelModel>();
    channel->channelId = id;
    channel->createdTime = 1;
    report->channels->push_back(channel);
    Deliver(eChannelsAdded, report);
  }

  void RemoveChannel(const std::string& id) {
    auto* ids = new ("Vector") Vector<std::string>();
    ids->push_back(id);
    Deliver(eChannelsRemoved, ids);
  }

  std::unique_ptr<Event> Move(const std::string& id, const std::string& parent) {
    auto moves = std::make_shared<GroupOrderModelList>();
    moves->push_back(std::make_shared<GroupOrderModel>(id, parent, "", "", 5, 0));
    return Request(eModifyLogicalMapping, moves);
  }
};

TEST_F(LockedStoreTest, AStartThatMeetsAReaderOrAWriterWaitsNoLongerThanTheBound) {
  ASSERT_TRUE(Succeeded(*CreateGroup("g1", "One")));
  Close();
  ASSERT_FALSE(InWriteAheadLog());

  // A reader: the switch to the log is given up at once, with a line.
  {
    OtherProcess reader;
    ASSERT_EQ(reader.Run("BEGIN; SELECT count(*) FROM logical_table;"), "1\n");
    testing::internal::CaptureStderr();
    EXPECT_LT(Seconds([&] { Open(); }), kBoundSeconds);
    const std::string errors = testing::internal::GetCapturedStderr();
    EXPECT_NE(errors.find("UseWriteAheadLog database is locked: the default journal stays"),
              std::string::npos)
        << errors;
    EXPECT_FALSE(InWriteAheadLog());
    // In the default journal a commit needs the reader gone.
    std::unique_ptr<Event> refused;
    EXPECT_LT(Seconds([&] { refused = CreateGroup("g2", "Two"); }), kBoundSeconds);
    EXPECT_EQ(Failure(*refused), "5000000 Internal Server Error");
    reader.Run("COMMIT;");
    EXPECT_TRUE(Succeeded(*CreateGroup("g3", "Three")));
  }
  Close();

  // A writer that keeps even readers out: the start reads nothing, in
  // bounded time, and the next start has everything.
  {
    OtherProcess writer;
    ASSERT_EQ(writer.Run("BEGIN EXCLUSIVE;"), "");
    EXPECT_LT(Seconds([&] { Open(); }), kBoundSeconds);
    std::unique_ptr<Event> refused;
    EXPECT_LT(Seconds([&] { refused = CreateGroup("g4", "Four"); }), kBoundSeconds);
    EXPECT_EQ(Failure(*refused), "5000000 Internal Server Error");
    writer.Run("ROLLBACK;");
  }
  Close();
  Open();
  EXPECT_TRUE(InWriteAheadLog());  // the switch is made again at the next start
  EXPECT_EQ(app_->service()->items().size(), 2u);
  // g2, refused, was cached all the same, so g3 came after it.
  EXPECT_EQ(StoredRows(), (std::vector<std::string>{"g1||One|Group|1", "g3||Three|Group|2"}));
}

// Requests answer a store failure; channel reports, which have no answer,
// wait instead: neither stored nor announced, the cache as before, they are
// stored with their notifications, in order, before the next change once
// the lock is gone.
TEST_F(LockedStoreTest, EveryChangeThatMeetsAWriteLockFailsInBoundedTimeAndReportsWait) {
  ASSERT_TRUE(Succeeded(*CreateGroup("g1", "One")));
  AddChannel("c1");
  AddChannel("c2");
  ASSERT_TRUE(Succeeded(*Move("c1", "g1")));
  ASSERT_TRUE(InWriteAheadLog());
  const std::vector<std::string> acknowledged = StoredRows();

  OtherProcess writer;
  ASSERT_EQ(writer.Run("BEGIN IMMEDIATE;"), "");
  const std::vector<std::pair<const char*, std::function<std::unique_ptr<Event>()>>> changes = {
      {"create", [&] { return CreateGroup("g2", "Two"); }},
      {"rename", [&] { return Request(eModifyLogicalGroup, Group("g1", "Uno")); }},
      {"move", [&] { return Move("c2", "g1"); }},
  };
  for (const auto& [name, change] : changes) {
    std::unique_ptr<Event> answer;
    EXPECT_LT(Seconds([&] { answer = change(); }), kBoundSeconds) << name;
    EXPECT_EQ(Failure(*answer), "5000000 Internal Server Error") << name;
  }
  Notifications();
  const auto cached = [&] {
    std::vector<std::string> items;
    for (const auto& [id, item] : app_->service()->GetItems()) {
      items.push_back(id + "|" + item.ParentText() + "|" + item.type + "|" +
                      std::to_string(item.order));
    }
    return items;
  };
  const std::vector<std::string> before = cached();
  EXPECT_LT(Seconds([&] { AddChannel("c3"); }), kBoundSeconds);
  EXPECT_LT(Seconds([&] { RemoveChannel("c1"); }), kBoundSeconds);
  EXPECT_TRUE(Notifications().empty());
  EXPECT_EQ(cached(), before);
  // Readers are not held up by the writer.
  auto groups = Request(eGetLogicalGroups, std::monostate());
  const GroupRequestParam* answer = Answer(*groups);
  ASSERT_NE(answer, nullptr);
  EXPECT_EQ(answer->Groups()->size(), 1u);
  EXPECT_EQ(StoredRows(), acknowledged);

  writer.Run("ROLLBACK;");
  EXPECT_TRUE(Succeeded(*CreateGroup("g5", "Five")));
  const std::vector<std::string> notes = Notifications();
  ASSERT_EQ(notes.size(), 6u);
  EXPECT_NE(notes[0].find("\"LogicalMappingCreated\""), std::string::npos) << notes[0];
  EXPECT_NE(notes[0].find("\"c3\""), std::string::npos) << notes[0];
  EXPECT_NE(notes[1].find("\"LogicalMappingDeleted\""), std::string::npos) << notes[1];
  EXPECT_NE(notes[1].find("\"c1\""), std::string::npos) << notes[1];
  EXPECT_NE(notes[4].find("\"g5\""), std::string::npos) << notes[4];
  Close();
  Open();
  // g5 goes after g1 and moves the top-level channels back, c3 among them.
  EXPECT_EQ(StoredRows(), (std::vector<std::string>{"c2|||Channel|3", "c3|||Channel|4",
                                                    "g1||One|Group|1", "g5||Five|Group|2"}));
}

TEST_F(LockedStoreTest, AStopThatMeetsAReaderDoesNotWaitForIt) {
  ASSERT_TRUE(Succeeded(*CreateGroup("g1", "One")));
  OtherProcess reader;
  ASSERT_EQ(reader.Run("BEGIN; SELECT count(*) FROM logical_table;"), "1\n");
  EXPECT_LT(Seconds([&] { Close(); }), kBoundSeconds);
  reader.Run("COMMIT;");
  EXPECT_EQ(StoredRows(), std::vector<std::string>{"g1||One|Group|1"});
}

}  // namespace

}  // namespace pga
