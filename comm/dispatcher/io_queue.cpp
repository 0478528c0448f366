#include "comm/dispatcher/io_queue.hpp"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <new>

#include "comm/errors/exceptions.hpp"

namespace qor {

namespace {

constexpr std::size_t kSpareBuffers = 64;

}  // namespace

TDataBuffer::TDataBuffer(std::uint32_t size) : TIOBuffer(size, true) {
  try {
    Data.assign(size, 0);
  } catch (const std::bad_alloc&) {
    throw EQORException::CreateWithText("Insufficient memory to allocate I/O buffer.");
  }
}

TLogBuffer::TLogBuffer(std::uint8_t kind, std::uint16_t sub_kind, std::uint32_t time,
                       std::uint32_t number, const std::uint8_t* data, std::uint32_t size)
    : TIOBuffer(data != nullptr ? size : 0, false),
      Kind(kind),
      SubKind(sub_kind),
      Time(time),
      Number(number) {
  if (data != nullptr && size > 0) Data.assign(data, data + size);
}

TIOQueue::TIOQueue() = default;

TIOQueue::~TIOQueue() { Clear(); }

void TIOQueue::Push(std::unique_ptr<TIOBuffer> buffer) {
  {
    std::lock_guard lock(mutex_);
    bytes_queued_ += buffer->size_;
    items_.push_back(std::move(buffer));
  }
  wake_.notify_one();
  CallPushHook();
}

void TIOQueue::PushAll(std::vector<std::unique_ptr<TIOBuffer>>& buffers) {
  if (buffers.empty()) return;
  {
    std::lock_guard lock(mutex_);
    for (auto& buffer : buffers) {
      bytes_queued_ += buffer->size_;
      items_.push_back(std::move(buffer));
    }
  }
  buffers.clear();
  wake_.notify_one();
  CallPushHook();
}

std::unique_ptr<TDataBuffer> TIOQueue::NewDataBuffer(std::uint32_t size) {
  {
    std::lock_guard lock(mutex_);
    if (!spare_.empty() && spare_.back()->Data.size() == size) {
      std::unique_ptr<TDataBuffer> buffer = std::move(spare_.back());
      spare_.pop_back();
      buffer->Used = buffer->Read = 0;
      return buffer;
    }
  }
  return std::make_unique<TDataBuffer>(size);
}

std::uint32_t TIOQueue::LeadingDataBytes() const {
  std::lock_guard lock(mutex_);
  std::uint32_t n = 0;
  for (const auto& item : items_) {
    if (!item->IsData()) break;
    const auto* data = static_cast<const TDataBuffer*>(item.get());
    n += data->Used - data->Read;
  }
  return n;
}

std::uint32_t TIOQueue::TakeLeadingData(std::uint8_t* out, std::uint32_t count) {
  std::vector<std::unique_ptr<TIOBuffer>> used_up;  // freed after the lock
  std::uint32_t taken = 0;
  {
    std::lock_guard lock(mutex_);
    while (taken < count && !items_.empty()) {
      if (!items_.front()->IsData()) break;
      auto* data = static_cast<TDataBuffer*>(items_.front().get());
      const std::uint32_t k = std::min(count - taken, data->Used - data->Read);
      std::memcpy(out + taken, data->Data.data() + data->Read, k);
      data->Read += k;
      taken += k;
      if (data->Read < data->Used) break;
      bytes_queued_ -= data->size_;
      std::unique_ptr<TIOBuffer> item = std::move(items_.front());
      items_.pop_front();
      if (spare_.size() < kSpareBuffers) {
        spare_.emplace_back(static_cast<TDataBuffer*>(item.release()));
      } else {
        used_up.push_back(std::move(item));
      }
    }
  }
  return taken;
}

std::unique_ptr<TStatusBuffer> TIOQueue::PopStatus() {
  std::lock_guard lock(mutex_);
  // Data is by far the most frequent item: known by its flag, without a
  // type query.
  if (items_.empty() || items_.front()->IsData()) return nullptr;
  if (dynamic_cast<TStatusBuffer*>(items_.front().get()) == nullptr) return nullptr;
  std::unique_ptr<TStatusBuffer> taken(static_cast<TStatusBuffer*>(items_.front().release()));
  items_.pop_front();
  bytes_queued_ -= taken->size_;
  return taken;
}

std::unique_ptr<TIOBuffer> TIOQueue::Pop() {
  std::lock_guard lock(mutex_);
  if (items_.empty()) return nullptr;
  std::unique_ptr<TIOBuffer> first = std::move(items_.front());
  items_.pop_front();
  bytes_queued_ -= first->size_;
  return first;
}

// The flag is stored before the queue is looked at under the lock, and a
// pusher loads it after releasing the lock: either the waiter sees the item or
// the pusher sees the flag.
bool TIOQueue::ArmPushHook() {
  hook_armed_.store(true);
  std::lock_guard lock(mutex_);
  if (items_.empty() && !wake_pending_) return true;
  wake_pending_ = false;
  hook_armed_.store(false);
  return false;
}

void TIOQueue::DisarmPushHook() {
  hook_armed_.store(false);
  std::lock_guard lock(mutex_);
  wake_pending_ = false;
}

void TIOQueue::CallPushHook() {
  if (hook_armed_.load() && push_hook_) push_hook_();
}

void TIOQueue::WaitForItem(std::uint32_t ms) {
  std::unique_lock lock(mutex_);
  wake_.wait_for(lock, std::chrono::milliseconds(ms),
                 [this] { return !items_.empty() || wake_pending_; });
  wake_pending_ = false;
}

void TIOQueue::Wake() {
  {
    std::lock_guard lock(mutex_);
    wake_pending_ = true;
  }
  wake_.notify_one();
  CallPushHook();
}

void TIOQueue::Clear() {
  std::lock_guard lock(mutex_);
  items_.clear();
  bytes_queued_ = 0;
}

std::uint32_t TIOQueue::BytesQueued() const {
  std::lock_guard lock(mutex_);
  return bytes_queued_;
}

bool TIOQueue::Empty() const {
  std::lock_guard lock(mutex_);
  return items_.empty();
}

}  // namespace qor
