#pragma once
#include <array>
#include <atomic>
#include <memory>
#include <mutex>
#include <vector>

#include "comm/device/device_open.hpp"
#include "comm/device/input_wait_set.hpp"
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
// Reading is shared: while the dispatch thread waits for work it reads the
// device itself, so that input reaches the handlers without a hand-over
// between threads (a thread switch per arrival was most of the cost of a
// stop-and-wait transfer). Once the dispatch thread has been busy for
// kTakeOverMs (a slow handler) the read thread takes over, so the driver
// never holds more than that much input, and it hands back when the line has
// been quiet that long and the dispatch thread waits again.
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
  void WaitForInput(std::uint32_t ms) override;
  void CloseDevice() override;
  std::int32_t YieldDevice() override;
  std::uint8_t DeviceModemStatus() override;
  void DeviceBreak(bool on) override;

 private:
  friend class TQorPosixThread;
  friend class TReadThread;
  friend class TWriteThread;
  friend class TStatusThread;

  // How long the dispatch thread may be busy before the read thread takes
  // over reading, and how long the line must be quiet before it hands back.
  // 50 ms is 576 bytes at 115200 baud, 5.6 KiB at 921600: well inside what
  // the driver buffers.
  static constexpr std::uint32_t kTakeOverMs = 50;
  // How long the standing-by read thread sleeps after finding the dispatch
  // thread waiting for work: a thread that waits cannot be stuck, and a
  // wake-up costs as much as a packet, so an idle port is looked at a few
  // times a second rather than 20. A handler that starts just then is taken
  // over from within this time, so it is as long as a quarter of what the
  // kernel's tty layer holds (64 KiB) takes to arrive at the line's rate,
  // between 250 ms (above 460800 baud) and a second (115200 and below).
  static constexpr std::uint32_t kIdleStandByMs = 250;
  // The longest a reader waits for bytes fewer than the read minimum: then
  // it takes them anyway, so held input is never more than that late.
  static constexpr std::uint32_t kHeldInputMs = 50;
  static constexpr std::uint32_t kLongestIdleStandByMs = 1000;
  static std::uint32_t IdleStandByMs(std::uint32_t baud);

  // One read's bytes and the pieces they go to InputQueue in.
  struct TReadStaging {
    std::array<std::uint8_t, 4096> bytes{};
    std::vector<std::unique_ptr<TIOBuffer>> pieces;
  };
  // With read_mutex_ held: queues all the device holds now, and the line
  // errors that came with it after it; false when the device is gone.
  bool ReadAvailable(int fd, short revents, TReadStaging& staging);
  // The read thread, while the dispatch thread reads: true when it should
  // take over.
  bool ReadThreadTakesOver() const;

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
  // With read_mutex_ held: the read minimum for the triggers' present needs.
  void AdjustReadMinimum(int fd);
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

  // Held by whichever thread reads the device and queues what it read (so
  // bytes keep their order whoever reads them), and by the dispatch thread
  // for its whole wait on the device, so the descriptor is not closed under
  // it. Outside device_lock_.
  std::mutex read_mutex_;
  std::atomic<bool> dispatch_reads_{true};   // else the read thread does
  std::atomic<bool> dispatch_idle_{false};   // waiting for work
  std::atomic<std::uint32_t> busy_since_{0};  // when it last stopped waiting
  std::atomic<std::uint32_t> idle_standby_ms_{kIdleStandByMs};  // for the line's rate
  device::TWakeSignal dispatch_wake_;  // InputQueue got an item while it polls
  // The device's VMIN: more than 1 while the triggers need that many bytes
  // before any can fire, so that a line delivering small pieces does not
  // wake the dispatch thread for each. Set under read_mutex_ and
  // device_lock_, back to 1 before the device closes.
  std::atomic<int> read_minimum_{1};
  // The dispatch thread's wait on fd_, stop_ and dispatch_wake_: built at its
  // first wait on the open device, forgotten before the device is closed.
  device::TInputWaitSet dispatch_waits_;
  device::TWakeSignal read_resume_;    // the read thread is to read at once
  TReadStaging dispatch_staging_;      // the dispatch thread's
  device::TLineErrorCounter line_errors_;
  device::TModemLineWait modem_wait_;
};

}  // namespace qor
