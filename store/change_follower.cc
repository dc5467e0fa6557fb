#include "store/change_follower.h"

#include <cstdio>
#include <map>
#include <utility>

#include "store/cache_difference.h"

namespace pga {

void ChangeFollower::Load() {
  // The position comes first: a change committed between it and the read
  // below is applied again later, which reads the same rows and only
  // announces it.
  if (!positioned_) positioned_ = log_.StartAtEnd();
  if (!positioned_ ||
      !cache_.Load([this](const ItemCache::Sink& take) { return log_.ReadAllItems(take); })) {
    stale_ = true;
  }
}

bool ChangeFollower::CatchUp() {
  if (!positioned_) {
    if (!log_.StartAtEnd()) return false;
    positioned_ = true;
    stale_ = true;
  }
  for (;;) {
    if (stale_ && !Reload()) return false;
    std::optional<LogTail> tail = log_.ReadNew();
    if (!tail) return false;
    if (tail->lost) {
      // What the trimmed changes did is in the rows, but their notices are
      // gone: go on from the log's end with the cache read whole.
      if (!log_.StartAtEnd()) return false;
      stale_ = true;
      continue;
    }
    if (tail->changes.empty()) return true;
    for (const LoggedChange& change : tail->changes) {
      if (!Apply(change)) return false;
    }
  }
}

bool ChangeFollower::Reload() {
  ItemCache stored;
  if (!stored.Load([this](const ItemCache::Sink& take) { return log_.ReadAllItems(take); })) {
    return false;
  }
  // Whatever made the cache stale (a log trimmed past this server's place,
  // a tool that replaced the tree) left changes that no notice announced:
  // the difference announces them, so that the listener's picture follows
  // the cache.
  for (ChangeNotice& notice : CacheDifference(cache_, stored)) {
    notices_.push_back(std::move(notice));
  }
  cache_ = std::move(stored);
  stale_ = false;
  return true;
}

bool ChangeFollower::Apply(const LoggedChange& change) {
  ChangeNotices notices;
  for (const LoggedNotice& logged : change.notices) {
    if (std::optional<ChangeNotice> notice = FromLogged(logged)) {
      notices.push_back(std::move(*notice));
    } else {
      // Another writer's damage must not stop this server from following.
      std::printf("ChangeFollower::CatchUp change %lld has an unreadable %s notice\n",
                  static_cast<long long>(change.seq), logged.kind.c_str());
    }
  }
  const std::vector<std::string> ids = NamedIds(notices);
  std::optional<GroupOrderItems> rows = log_.ReadItems(ids);
  if (!rows) return false;
  std::map<std::string, GroupOrderModel> stored;
  for (GroupOrderModel& row : *rows) stored.emplace(row.itemId, std::move(row));
  for (const std::string& id : ids) {
    // The row as it is now, or its absence: a later change to the same item
    // that is read here already is read again, to the same effect.
    auto it = stored.find(id);
    if (it == stored.end()) {
      cache_.Erase(id);
    } else {
      cache_.Put(it->second);
    }
  }
  for (ChangeNotice& notice : notices) notices_.push_back(std::move(notice));
  log_.MarkApplied(change.seq);
  return true;
}

bool ChangeFollower::Log(const ChangeNotices& notices) {
  std::vector<LoggedNotice> logged;
  logged.reserve(notices.size());
  for (const ChangeNotice& notice : notices) logged.push_back(ToLogged(notice));
  return log_.Append(logged);
}

ChangeNotices ChangeFollower::TakeNotices() { return std::exchange(notices_, {}); }

}  // namespace pga
