#include "store/item_handoff.h"

#include <system_error>
#include <utility>

namespace pga {

ItemHandoff::ItemHandoff(StoredRowSink take) : take_(std::move(take)) {}

ItemHandoff::~ItemHandoff() {
  if (taker_.joinable()) Stop();
}

void ItemHandoff::Give(const StoredRow& row) {
  for (std::string_view text : RowShape::Texts(row)) filling_.texts.append(text);
  filling_.rows.push_back(RowShape::Of(row));
  if (filling_.rows.size() == kBatchRows || filling_.texts.size() >= kBatchBytes) Send();
}

void ItemHandoff::Finish() {
  if (!filling_.rows.empty()) Send();
  if (taker_.joinable()) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      last_ = true;
    }
    changed_.notify_all();
    taker_.join();
  }
  if (failure_) std::rethrow_exception(failure_);
}

void ItemHandoff::Send() {
  if (!taker_tried_) {
    taker_tried_ = true;
    try {
      taker_ = std::thread(&ItemHandoff::TakeBatches, this);
    } catch (const std::system_error&) {
      // No thread to be had (a limit of the host's): the rows are taken in
      // here, as they come.
    }
  }
  if (!taker_.joinable()) {
    TakeIn(filling_);
    if (failure_) std::rethrow_exception(failure_);
    return;
  }
  Batch next;
  {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [this] { return full_.size() < kDepth || failure_; });
    if (failure_) std::rethrow_exception(failure_);
    full_.push_back(std::move(filling_));
    if (!spare_.empty()) {
      next = std::move(spare_.back());
      spare_.pop_back();
    }
  }
  changed_.notify_all();
  filling_ = std::move(next);
}

void ItemHandoff::TakeBatches() {
  for (;;) {
    Batch batch;
    {
      std::unique_lock<std::mutex> lock(mutex_);
      changed_.wait(lock, [this] { return !full_.empty() || last_ || stop_; });
      if (stop_ || full_.empty()) return;
      batch = std::move(full_.front());
      full_.erase(full_.begin());
    }
    changed_.notify_all();
    TakeIn(batch);
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (failure_) {
        // The reader hears of it at its next batch, without waiting for
        // room.
        changed_.notify_all();
        return;
      }
      spare_.push_back(std::move(batch));
    }
  }
}

void ItemHandoff::TakeIn(Batch& batch) {
  try {
    const char* text = batch.texts.data();
    for (const RowShape& shape : batch.rows) {
      take_(shape.Row(text));
      text += shape.TextBytes();
    }
  } catch (...) {
    std::lock_guard<std::mutex> lock(mutex_);
    failure_ = std::current_exception();
  }
  batch.texts.clear();
  batch.rows.clear();
}

void ItemHandoff::Stop() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stop_ = true;
  }
  changed_.notify_all();
  taker_.join();
}

}  // namespace pga
