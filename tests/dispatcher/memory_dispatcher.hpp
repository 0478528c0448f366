#pragma once
// A dispatcher over an in-memory device: tests feed received data and line
// events into its input queue and read back what it sent. Only the device is
// simulated; the dispatcher and its dispatch thread are the real ones.
#include <atomic>
#include <mutex>
#include <string>
#include <vector>

#include "comm/dispatcher/base_dispatcher.hpp"

namespace qor::testing {

class TMemoryDispatcher final : public TQorBaseDispatcher {
 public:
  explicit TMemoryDispatcher(TQorBaseComponent* owner = nullptr) : TQorBaseDispatcher(owner) {}
  ~TMemoryDispatcher() override { Shutdown(); }

  // Received bytes, queued in buffers of at most 256 bytes like a reader would.
  void Feed(const std::string& bytes);
  // A line or modem event in its place among the received data.
  void FeedStatus(std::uint32_t mask) { input_queue_.Push(std::make_unique<TStatusBuffer>(mask)); }
  // Line-state bits the device reports (CTS 0x10, DSR 0x20, RI 0x40, DCD 0x80).
  std::atomic<std::uint8_t> modem_status{0};
  // Error bits the next error read reports (and clears).
  std::atomic<std::uint32_t> pending_errors{0};
  // Moves what waits in SendRing to Written(), as a transmitter would.
  void DrainOutput();
  std::string Written();
  // What was written so far, forgotten here.
  std::string TakeWritten();
  int device_state_writes() const { return device_state_writes_.load(); }
  const TDeviceControlBlock& Dcb() const { return dcb_; }
  bool dtr() const { return dtr_.load(); }

 protected:
  std::int32_t DeviceEscape(std::int32_t function) override;
  std::int32_t PurgeDevice(std::int32_t queue) override;
  std::uint32_t ReadDeviceErrors(TDeviceStatus& status) override;
  void ReportDeviceError(std::int32_t) override {}
  std::int32_t GetDeviceState(TDeviceControlBlock& dcb) override;
  std::int32_t TakeInput(std::uint8_t* buffer, std::int32_t count) override {
    return TakeQueuedInput(buffer, count);
  }
  std::int32_t SetDeviceState(const TDeviceControlBlock& dcb) override;
  std::int32_t PutOutput(const std::uint8_t* buffer, std::int32_t count) override;
  bool ReservedQuery(std::int32_t& value) override {
    value = 0;
    return true;
  }
  bool SetupDevice(std::int32_t, std::int32_t) override { return true; }
  void StartThreads() override;
  void StopThreads() override;
  std::int32_t OutputPending() override;
  std::int32_t QueuedInput() override { return QueuedDataBytes(); }
  std::int32_t OpenDevice(const std::string& name, std::int32_t, std::int32_t) override;
  void CloseDevice() override;
  std::int32_t YieldDevice() override { return 0; }
  std::uint8_t DeviceModemStatus() override { return modem_status.load(); }
  void DeviceBreak(bool) override {}

 private:
  std::mutex device_mutex_;
  TDeviceControlBlock dcb_;
  std::string written_;
  std::atomic<int> device_state_writes_{0};
  std::atomic<bool> dtr_{false};
  std::atomic<bool> closing_{false};
};

}  // namespace qor::testing
