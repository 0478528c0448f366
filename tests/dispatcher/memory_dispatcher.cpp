#include "tests/dispatcher/memory_dispatcher.hpp"

#include <algorithm>
#include <utility>
#include <vector>

namespace qor::testing {

void TMemoryDispatcher::Feed(const std::string& bytes) {
  // In 256-byte pieces queued as one step, as the read thread queues one read.
  std::vector<std::unique_ptr<TIOBuffer>> pieces;
  for (std::size_t at = 0; at < bytes.size(); at += 256) {
    const std::size_t n = std::min<std::size_t>(256, bytes.size() - at);
    auto buffer = std::make_unique<TDataBuffer>(256);
    std::copy_n(bytes.begin() + static_cast<std::ptrdiff_t>(at), n, buffer->Data.begin());
    buffer->Used = static_cast<std::uint32_t>(n);
    pieces.push_back(std::move(buffer));
  }
  input_queue_.PushAll(pieces);
}

void TMemoryDispatcher::DrainOutput() {
  std::uint8_t chunk[256];
  platform::Locker lock(send_lock_);
  for (;;) {
    const std::int32_t n = TakeSendRing(chunk, sizeof chunk);
    if (n == 0) break;
    std::lock_guard device(device_mutex_);
    written_.append(reinterpret_cast<const char*>(chunk), static_cast<std::size_t>(n));
  }
}

std::string TMemoryDispatcher::Written() {
  std::lock_guard device(device_mutex_);
  return written_;
}

std::string TMemoryDispatcher::TakeWritten() {
  std::lock_guard device(device_mutex_);
  return std::exchange(written_, {});
}

std::int32_t TMemoryDispatcher::DeviceEscape(std::int32_t function) {
  if (function == 5) dtr_ = true;
  if (function == 6) dtr_ = false;
  return 0;
}

std::int32_t TMemoryDispatcher::PurgeDevice(std::int32_t queue) {
  if (queue == 1) {
    input_queue_.Clear();
  } else {
    platform::Locker lock(send_lock_);
    send_head_ = send_tail_ = 0;
    send_ring_full_ = false;
  }
  return 0;
}

std::uint32_t TMemoryDispatcher::ReadDeviceErrors(TDeviceStatus& status) {
  status.Errors = pending_errors.exchange(0);
  status.OutQueue = static_cast<std::uint32_t>(OutputPending());
  return status.Errors;
}

std::int32_t TMemoryDispatcher::GetDeviceState(TDeviceControlBlock& dcb) {
  std::lock_guard device(device_mutex_);
  dcb = dcb_;
  return 0;
}

std::int32_t TMemoryDispatcher::SetDeviceState(const TDeviceControlBlock& dcb) {
  std::lock_guard device(device_mutex_);
  dcb_ = dcb;
  ++device_state_writes_;
  return 0;
}

std::int32_t TMemoryDispatcher::PutOutput(const std::uint8_t* buffer, std::int32_t count) {
  platform::Locker lock(send_lock_);
  PutSendRing(buffer, count);
  return count;
}

std::int32_t TMemoryDispatcher::OutputPending() {
  platform::Locker lock(send_lock_);
  return SendRingPending();
}

std::int32_t TMemoryDispatcher::OpenDevice(const std::string& name, std::int32_t, std::int32_t) {
  return name == "missing" ? -2 : 1;
}

void TMemoryDispatcher::StartThreads() {
  threads_started_ = true;
  kill_requested_ = false;
  CreateDispatchThread();
}

void TMemoryDispatcher::StopThreads() {
  if (threads_started_) CloseDevice();
}

void TMemoryDispatcher::CloseDevice() {
  // A nested call (the ending dispatch thread releasing the port) does nothing.
  if (closing_.exchange(true)) return;
  if (threads_started_) {
    kill_requested_ = true;
    if (!WaitThreadGone(dispatch_thread_, 36 * 55)) WaitThreadGone(dispatch_thread_, 36 * 55);
  }
  closing_ = false;
}

}  // namespace qor::testing
