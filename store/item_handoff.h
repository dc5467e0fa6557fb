// Stored rows handed from the thread that reads them to one that takes
// them in, so that reading and taking in run at the same time.
#ifndef PGA_STORE_ITEM_HANDOFF_H_
#define PGA_STORE_ITEM_HANDOFF_H_

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "store/stored_row.h"

namespace pga {

// Hands every row given to Give() to `take`, in the order given, each
// exactly once; Finish() returns when `take` has had them all.
//
// Why: a start reads every stored row and puts it in the item cache, and
// on one thread each half waits for the other. Here the cache is built on
// a thread of its own while the rows are still being read, a batch at a
// time (BM_Start in scripts/bench). A row's texts are copied into its
// batch, side by side, so that the reader allocates nothing per row and
// the taker frees nothing of the reader's. A store of less than one batch
// starts no thread: Finish() hands its rows over on the calling thread.
//
// `take` runs on one thread at a time; what it changes is the caller's to
// read once Finish() has returned. An exception thrown by `take` (memory
// running out) ends the handoff: the next Give() or Finish() throws it on
// the calling thread. When no thread can be started, the rows are taken in
// on the calling thread, a batch at a time.
// For one calling thread; not otherwise thread-safe.
class ItemHandoff {
 public:
  explicit ItemHandoff(StoredRowSink take);
  // Without Finish() (the reading failed or threw), stops the taker,
  // dropping what it has not taken yet.
  ~ItemHandoff();
  ItemHandoff(const ItemHandoff&) = delete;
  ItemHandoff& operator=(const ItemHandoff&) = delete;

  // Queues a copy of `row`; waits while kDepth full batches wait for the
  // taker.
  void Give(const StoredRow& row);
  // Hands over what is left and waits until `take` has had every row;
  // throws what `take` threw, if it did.
  void Finish();

 private:
  // Rows side by side: their shapes, and their texts one after the other.
  struct Batch {
    std::string texts;
    std::vector<RowShape> rows;
  };
  // A batch is sent when it holds this many rows or this many bytes of
  // text, whichever comes first: the rows read ahead of the cache stay
  // within a few megabytes whatever the store's size, and the taker is
  // woken a few hundred times at most for a start of a million items.
  static constexpr std::size_t kBatchRows = 4096;
  static constexpr std::size_t kBatchBytes = 1 << 20;
  static constexpr std::size_t kDepth = 4;

  // Queues the filled batch, starting the taker with the first one.
  void Send();
  // The taker's loop: takes in batches until the last one.
  void TakeBatches();
  // Hands every row of `batch` to `take` and empties it; keeps what `take`
  // threw.
  void TakeIn(Batch& batch);
  // Stops the taker and waits for it, dropping what it has not taken.
  void Stop();

  StoredRowSink take_;
  Batch filling_;
  bool taker_tried_ = false;
  std::thread taker_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<Batch> full_;     // GUARDED_BY(mutex_), oldest first
  std::vector<Batch> spare_;    // GUARDED_BY(mutex_): taken in, for reuse
  bool last_ = false;           // GUARDED_BY(mutex_): no batch follows
  bool stop_ = false;           // GUARDED_BY(mutex_): drop the rest
  std::exception_ptr failure_;  // GUARDED_BY(mutex_) while the taker runs
};

}  // namespace pga

#endif  // PGA_STORE_ITEM_HANDOFF_H_
