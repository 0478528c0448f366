#pragma once
#include <atomic>
#include <memory>

#include "comm/device/device_open.hpp"
#include "comm/device/line_errors.hpp"
#include "comm/device/modem_lines.hpp"
#include "comm/device/wake_signal.hpp"
#include "comm/dispatcher/base_dispatcher.hpp"

namespace qor {

class TQorPosixThread;

// The dispatcher over a termios serial device. Three threads of its own run
// beside the dispatch thread: the read thread queues received bytes (and the
// line errors that came with them) on input_queue_, the write thread drains
// SendRing to the device, the status thread queues modem line changes. Each
// blocks in poll() on its descriptors plus stop_, so closing wakes them at
// once; the write thread also watches write_wake_ (new output, flush).
//
// The device name is a path, or a port as the port table knows it ("COM7",
// "\\.\COM7"), resolved afresh at every open.
class TQorPosixDispatcher : public TQorBaseDispatcher {
 public:
  explicit TQorPosixDispatcher(TQorBaseComponent* owner);
  ~TQorPosixDispatcher() override;
  bool DeviceOutputDrained() override;

 protected:
  std::int32_t DeviceEscape(std::int32_t function) override;
  // 1 when the driver queue was cleared, 0 when nothing was done or it failed.
  std::int32_t PurgeDevice(std::int32_t queue) override;
  std::uint32_t ReadDeviceErrors(TDeviceStatus& status) override;
  void ReportDeviceError(std::int32_t) override {}
  std::int32_t GetDeviceState(TDeviceControlBlock& dcb) override;
  std::int32_t TakeInput(std::uint8_t* buffer, std::int32_t count) override;
  std::int32_t SetDeviceState(const TDeviceControlBlock& dcb) override;
  std::int32_t PutOutput(const std::uint8_t* buffer, std::int32_t count) override;
  bool ReservedQuery(std::int32_t& value) override;
  // Linux sets no per-open driver queue sizes.
  bool SetupDevice(std::int32_t, std::int32_t) override { return true; }
  void StartThreads() override;
  void StopThreads() override;
  std::int32_t OutputPending() override;
  std::int32_t OutputInFlight() override { return write_in_flight_; }
  std::int32_t QueuedInput() override { return QueuedDataBytes(); }
  std::int32_t OpenDevice(const std::string& name, std::int32_t in_size,
                          std::int32_t out_size) override;
  void CloseDevice() override;
  std::int32_t YieldDevice() override;
  std::uint8_t DeviceModemStatus() override;
  void DeviceBreak(bool on) override;

 private:
  friend class TQorPosixThread;
  friend class TReadThread;
  friend class TWriteThread;
  friend class TStatusThread;

  // A worker thread failed: all threads stop. Returns the code that thread
  // ends with: its own for the first failure, 0 for any later one and while
  // the port is being closed, so a vanished device is reported once.
  std::int32_t ThreadFailed(std::int32_t code);
  void RequestKill();
  // An I/O thread always ends once stop_ is raised; the status thread may
  // need its modem wait interrupted, repeatedly.
  void WaitIoThreadGone(std::unique_ptr<TQorDispatcherThread>& slot, bool interrupt_modem_wait);
  // With device_lock_ held.
  void SetRtsToggle(bool on);
  // With send_lock_ held: writes what the driver takes now while the write
  // thread is idle; the bytes written.
  std::int32_t WriteThrough(const std::uint8_t* buffer, std::int32_t count);

  // fd_ for every call outside the I/O threads (which end before it closes),
  // and the fields below it. Innermost: nothing else is locked under it.
  platform::CriticalSection device_lock_;
  std::atomic<int> fd_{-1};
  device::TOpenedDevice opened_;
  TDeviceControlBlock shadow_;  // the fields termios cannot hold
  bool no_modem_lines_ = false;  // the device refused to report them
  bool kernel_rs485_ = false;
  // RS-485 without the driver's help: the write thread raises RTS for each
  // block and drops it once the transmitter is empty.
  std::atomic<bool> rts_toggle_{false};

  bool close_guard_ = false;  // under state_lock_
  std::atomic<bool> closing_{false};
  std::atomic<bool> failure_reported_{false};
  std::atomic<bool> flush_requested_{false};
  // Bytes of the block the write thread took from the ring and has not yet
  // written: set under send_lock_ together with the take, so that ring and
  // block never both read as empty while bytes are on their way.
  std::atomic<std::int32_t> write_in_flight_{0};
  device::TWakeSignal stop_;
  device::TWakeSignal write_wake_;
  device::TLineErrorCounter line_errors_;
  device::TModemLineWait modem_wait_;
};

}  // namespace qor
