#pragma once
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>


namespace qor {

// An item of a TIOQueue. Size is what the queue counts for it.
class TIOBuffer {
 public:
  virtual ~TIOBuffer() = default;
  std::uint32_t Size() const { return size_; }
  // Received bytes (a TDataBuffer): asked for every item the dispatch
  // thread looks at, so a plain flag rather than a type query.
  bool IsData() const { return is_data_; }

 protected:
  TIOBuffer(std::uint32_t size, bool is_data) : size_(size), is_data_(is_data) {}

 private:
  friend class TIOQueue;
  std::uint32_t size_;
  bool is_data_;
};

// Received bytes: Used filled by the reader, Read taken by the dispatcher.
class TDataBuffer final : public TIOBuffer {
 public:
  // Raises EQORException "Insufficient memory to allocate I/O buffer." when the
  // memory cannot be had.
  explicit TDataBuffer(std::uint32_t size);
  std::vector<std::uint8_t> Data;
  std::uint32_t Used = 0;
  std::uint32_t Read = 0;
};

// A line or modem event, as a comm-event mask, in its place among the data.
class TStatusBuffer final : public TIOBuffer {
 public:
  explicit TStatusBuffer(std::uint32_t status) : TIOBuffer(0, false), Status(status) {}
  std::uint32_t Status;
};

// A dispatch-log entry; its size is the number of data bytes.
class TLogBuffer final : public TIOBuffer {
 public:
  TLogBuffer(std::uint8_t kind, std::uint16_t sub_kind, std::uint32_t time, std::uint32_t number,
             const std::uint8_t* data, std::uint32_t size);
  std::uint8_t Kind;
  std::uint16_t SubKind;
  std::uint32_t Time;  // ms since the log's time base
  std::uint32_t Number;
  std::vector<std::uint8_t> Data;
};

// A locked first-in-first-out queue of buffers between threads. The queue owns
// the buffers in it.
class TIOQueue {
 public:
  TIOQueue();
  ~TIOQueue();
  TIOQueue(const TIOQueue&) = delete;
  TIOQueue& operator=(const TIOQueue&) = delete;

  void Push(std::unique_ptr<TIOBuffer> buffer);
  // Queues all of buffers, in order, as one step with one wake-up; leaves
  // buffers empty.
  void PushAll(std::vector<std::unique_ptr<TIOBuffer>>& buffers);
  // A data buffer of size bytes: a spare one that was used up before, else a
  // new one (which may raise as TDataBuffer does).
  std::unique_ptr<TDataBuffer> NewDataBuffer(std::uint32_t size);
  // Received bytes waiting in the data buffers ahead of the first item that
  // is not data.
  std::uint32_t LeadingDataBytes() const;
  // Copies up to count of those bytes to out as one step and removes the
  // buffers it used up; how many. Stops at the first item that is not data.
  std::uint32_t TakeLeadingData(std::uint8_t* out, std::uint32_t count);
  // The first item, taken off the queue when it is a status event; nullptr
  // (and nothing taken) when the queue is empty or starts with something else.
  std::unique_ptr<TStatusBuffer> PopStatus();
  std::unique_ptr<TIOBuffer> Pop();
  // Returns at once when a buffer is queued, else waits up to ms for a Push.
  void WaitForItem(std::uint32_t ms);
  // Ends a WaitForItem without queueing anything: the waiter has to stop.
  void Wake();
  // For a waiter that sleeps elsewhere (in poll()): while it is armed, every
  // Push, PushAll and Wake also calls the hook, after the lock is released.
  // The hook is set once, before any thread uses the queue.
  void SetPushHook(std::function<void()> hook) { push_hook_ = std::move(hook); }
  // Arms the hook; false (and left unarmed) when an item or a Wake waits
  // already, so the waiter must not sleep. A Wake counts as seen.
  bool ArmPushHook();
  void DisarmPushHook();
  // Frees every buffer.
  void Clear();
  std::uint32_t BytesQueued() const;
  bool Empty() const;

 private:
  void CallPushHook();

  mutable std::mutex mutex_;
  std::deque<std::unique_ptr<TIOBuffer>> items_;
  std::uint32_t bytes_queued_ = 0;
  // Used-up data buffers kept for NewDataBuffer, so a busy line does not
  // cost an allocation per piece; at most kSpareBuffers.
  std::vector<std::unique_ptr<TDataBuffer>> spare_;
  // Notified after the lock is released, so the woken dispatch thread does
  // not run straight into it.
  std::condition_variable wake_;
  bool wake_pending_ = false;  // a Wake not yet seen by WaitForItem
  std::function<void()> push_hook_;
  std::atomic<bool> hook_armed_{false};
};

}  // namespace qor
