#include "comm/dispatcher/io_queue.hpp"

#include <algorithm>
#include <new>

#include "comm/errors/exceptions.hpp"

namespace qor {

TDataBuffer::TDataBuffer(std::uint32_t size) : TIOBuffer(size) {
  try {
    Data.assign(size, 0);
  } catch (const std::bad_alloc&) {
    throw EQORException::CreateWithText("Insufficient memory to allocate I/O buffer.");
  }
}

TLogBuffer::TLogBuffer(std::uint8_t kind, std::uint16_t sub_kind, std::uint32_t time,
                       std::uint32_t number, const std::uint8_t* data, std::uint32_t size)
    : TIOBuffer(data != nullptr ? size : 0),
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
  wake_.Set();
}

TIOBuffer* TIOQueue::Peek() {
  std::lock_guard lock(mutex_);
  if (items_.empty() || items_.front()->in_use_) return nullptr;
  items_.front()->in_use_ = true;
  return items_.front().get();
}

void TIOQueue::Release(TIOBuffer* buffer) {
  std::lock_guard lock(mutex_);
  buffer->in_use_ = false;
}

std::unique_ptr<TIOBuffer> TIOQueue::Pop() {
  std::lock_guard lock(mutex_);
  if (items_.empty()) return nullptr;
  std::unique_ptr<TIOBuffer> first = std::move(items_.front());
  items_.pop_front();
  bytes_queued_ -= first->size_;
  first->in_use_ = false;
  return first;
}

void TIOQueue::WaitForItem(std::uint32_t ms) {
  if (!Empty()) return;
  wake_.WaitFor(ms);
}

void TIOQueue::Clear() {
  std::lock_guard lock(mutex_);
  auto kept = std::stable_partition(items_.begin(), items_.end(),
                                    [](const auto& item) { return item->in_use_; });
  for (auto it = kept; it != items_.end(); ++it) bytes_queued_ -= (*it)->size_;
  items_.erase(kept, items_.end());
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
