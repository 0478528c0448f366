#pragma once
#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "comm/dispatcher/dispatch_log_codes.hpp"
#include "comm/dispatcher/io_queue.hpp"
#include "comm/dispatcher/triggers.hpp"
#include "comm/platform/message_queue.hpp"
#include "comm/platform/sync.hpp"
#include "comm/platform/thread.hpp"

namespace qor {

class TQorBaseComponent;
class TQorBaseDispatcher;

inline constexpr std::int32_t kRecvRingSize = 8192;

// The device control block: line settings as the device holds them.
struct TDeviceControlBlock {
  std::uint32_t BaudRate = 0;
  std::uint32_t Flags = 0;  // kDcb... bits
  std::uint16_t XonLim = 0;
  std::uint16_t XoffLim = 0;
  std::uint8_t ByteSize = 8;
  std::uint8_t Parity = 0;    // 0 none, 1 odd, 2 even, 3 mark, 4 space
  std::uint8_t StopBits = 0;  // 0 one, 1 one and a half, 2 two
  std::uint8_t XonChar = 17;
  std::uint8_t XoffChar = 19;
  bool operator==(const TDeviceControlBlock&) const = default;
};

inline constexpr std::uint32_t kDcbBinary = 0x0001;
inline constexpr std::uint32_t kDcbParity = 0x0002;
inline constexpr std::uint32_t kDcbOutxCtsFlow = 0x0004;
inline constexpr std::uint32_t kDcbOutxDsrFlow = 0x0008;
inline constexpr std::uint32_t kDcbDtrControlMask = 0x0030;  // 0 off, 1 on, 2 handshake
inline constexpr std::uint32_t kDcbDsrSensitivity = 0x0040;
inline constexpr std::uint32_t kDcbTXContinueOnXoff = 0x0080;
inline constexpr std::uint32_t kDcbOutX = 0x0100;
inline constexpr std::uint32_t kDcbInX = 0x0200;
inline constexpr std::uint32_t kDcbNull = 0x0800;
inline constexpr std::uint32_t kDcbRtsControlMask = 0x3000;  // 0 off, 1 on, 2 handshake, 3 toggle
inline constexpr int kDcbDtrControlShift = 4;
inline constexpr int kDcbRtsControlShift = 12;
enum TLineControl : std::uint32_t { lcDisable = 0, lcEnable = 1, lcHandshake = 2, lcToggle = 3 };

// Device error bits and queue counts.
struct TDeviceStatus {
  std::uint32_t Errors = 0;
  std::uint32_t InQueue = 0;
  std::uint32_t OutQueue = 0;
};

// Comm-event mask bits of status buffers.
inline constexpr std::uint32_t kEvRxChar = 0x0001;
inline constexpr std::uint32_t kEvTxEmpty = 0x0004;  // the output ring was emptied
inline constexpr std::uint32_t kEvCts = 0x0008;
inline constexpr std::uint32_t kEvDsr = 0x0010;
inline constexpr std::uint32_t kEvRlsd = 0x0020;
inline constexpr std::uint32_t kEvBreak = 0x0040;
inline constexpr std::uint32_t kEvErr = 0x0080;
inline constexpr std::uint32_t kEvRing = 0x0100;
inline constexpr std::uint32_t kEvRingTe = 0x2000;

// OpenPort option bits.
inline constexpr std::uint32_t kOpenDtrOn = 1;
inline constexpr std::uint32_t kOpenRtsOn = 2;
inline constexpr std::uint32_t kOpenDtrByFlow = 16;
inline constexpr std::uint32_t kOpenRtsByFlow = 32;

// Hardware and software flow options.
inline constexpr std::uint32_t hwfUseDTR = 1;
inline constexpr std::uint32_t hwfUseRTS = 2;
inline constexpr std::uint32_t hwfRequireDSR = 4;
inline constexpr std::uint32_t hwfRequireCTS = 8;
inline constexpr std::uint32_t kSwFlowTransmit = 1;  // stop sending on a received XOFF
inline constexpr std::uint32_t kSwFlowReceive = 2;   // send XOFF/XON for received data

// Trigger handlers.
using TTriggerProc = void (*)(std::uint32_t msg, std::uintptr_t wParam, std::intptr_t lParam);

// A method bound to an object: Code is called with Data first.
struct TTriggerMethod {
  void* Data = nullptr;
  void (*Code)(void* data, std::uint32_t msg, std::uintptr_t wParam, std::intptr_t lParam) = nullptr;
  bool operator==(const TTriggerMethod&) const = default;
};

// A thread of a dispatcher. The dispatcher owns it; its body ends with
// ThreadGone. Created stopped so that the dispatcher can store it first.
class TQorDispatcherThread {
 public:
  explicit TQorDispatcherThread(TQorBaseDispatcher& dispatcher) : dispatcher_(dispatcher) {}
  virtual ~TQorDispatcherThread();
  TQorDispatcherThread(const TQorDispatcherThread&) = delete;
  TQorDispatcherThread& operator=(const TQorDispatcherThread&) = delete;

  void Start(platform::Priority priority);
  // Runs method(msg, wParam, lParam) in the main thread and waits until it has
  // returned; false when there is no main thread loop to run it.
  static bool RunSynchronized(std::uint32_t msg, std::uintptr_t wParam, std::intptr_t lParam,
                       const TTriggerMethod& method);
  platform::Thread* Handle() { return thread_.get(); }
  bool StopRequested() const { return thread_ != nullptr && thread_->StopRequested(); }

 protected:
  virtual int Execute() = 0;
  TQorBaseDispatcher& dispatcher_;

 private:
  std::unique_ptr<platform::Thread> thread_;
};

// The device-independent half of a serial port: receive ring, output ring
// bookkeeping, line control, triggers and handler notification, trace and
// dispatch log. A device layer supplies the abstract operations.
class TQorBaseDispatcher {
 public:
  explicit TQorBaseDispatcher(TQorBaseComponent* owner);
  // A concrete dispatcher's destructor calls Shutdown first.
  virtual ~TQorBaseDispatcher();
  TQorBaseDispatcher(const TQorBaseDispatcher&) = delete;
  TQorBaseDispatcher& operator=(const TQorBaseDispatcher&) = delete;

  // ---- Opening and closing
  std::int32_t OpenPort(const std::string& device_name, std::int32_t baud, std::uint8_t parity,
                        std::uint8_t data_bits, std::uint8_t stop_bits, std::int32_t in_size,
                        std::int32_t out_size, std::uint32_t options);
  void ClosePort();
  // The first half of destruction: closes (or releases a pending close) and
  // waits, handling this thread's messages, until every worker thread is gone.
  void Shutdown();

  // ---- Identity
  TQorBaseComponent* Owner() const { return owner_; }
  std::int32_t DispatcherHandle() const { return handle_; }
  const std::string& DeviceName() const { return device_name_; }
  void SetDeviceName(const std::string& name) { device_name_ = name; }
  bool IsOpen() const { return device_open_.load(); }

  // ---- Line control
  std::int32_t SetLineParams(std::int32_t baud, std::uint8_t parity, std::uint8_t data_bits,
                             std::uint8_t stop_bits);
  void GetLineParams(std::int32_t& baud, std::uint8_t& parity, std::uint8_t& data_bits,
                     std::uint8_t& stop_bits);
  std::int32_t SetDtr(bool on);
  std::int32_t SetRts(bool on);
  std::uint8_t ReadModemBits(std::uint8_t keep_mask);
  bool CheckDcd() { return (ReadModemBits(0xF7) & 0x80) != 0; }
  std::int32_t TakeLineError();
  bool TakeLineBreak();
  void SendBreak(std::int32_t ticks, bool pump);
  std::int32_t SetHWFlow(std::int32_t buffer_full, std::int32_t buffer_resume, std::uint32_t options);
  std::int32_t EnableSWFlow(std::int32_t buffer_full, std::int32_t buffer_resume, std::uint32_t options);
  std::int32_t DisableSWFlow();
  std::int32_t SetFlowChars(std::uint8_t xon, std::uint8_t xoff);
  void GetFlowOptions(std::uint32_t& hw_options, std::uint32_t& sw_options, std::uint8_t& xon,
                      std::uint8_t& xoff);
  void SetOptionBits(std::uint32_t bits);
  void ClearOptionBits(std::uint32_t bits);
  std::uint32_t OptionBits();
  std::int32_t CurrentBaud();
  bool RS485Mode();
  virtual void SetRS485(bool on);

  // ---- Data
  bool HasInput();
  std::int32_t PeekInput(std::uint8_t& byte, std::int32_t n);
  std::int32_t ReadInputChar(std::uint8_t& byte);
  // For a reader that looks at many bytes at a time (one lock, not one per
  // byte): copies up to max of the bytes that ReadInputChar would take next,
  // without taking them, and returns how many; TakeWaitingInput then takes
  // the first n of them, as n calls of ReadInputChar would.
  std::int32_t CopyWaitingInput(std::uint8_t* out, std::int32_t max);
  void TakeWaitingInput(std::int32_t n);
  // Both at once: takes up to max waiting bytes into out; how many.
  std::int32_t TakeInputChars(std::uint8_t* out, std::int32_t max);
  std::int32_t WriteChar(std::uint8_t byte) { return WriteBlock(&byte, 1); }
  std::int32_t WriteBlock(const std::uint8_t* bytes, std::int32_t count);
  std::int32_t InputUsed();
  std::int32_t InputFree();
  std::int32_t OutputUsed();
  std::int32_t OutputFree();
  // Whether what the driver was given has left the line too (its queue and
  // the transmitter are empty); a device layer that cannot tell says so.
  virtual bool DeviceOutputDrained() { return true; }
  std::int32_t PurgeOutput() { return PurgeDevice(0); }
  std::int32_t PurgeInput();
  // New device queue sizes for the open device: 0 or a negated system error.
  std::int32_t SetDeviceQueueSizes(std::int32_t in_size, std::int32_t out_size);
  void GetBufferSizes(std::int32_t& in_size, std::int32_t& out_size) const {
    in_size = in_size_;
    out_size = out_size_;
  }

  // ---- Triggers
  std::int32_t CreateTimerTrigger();
  std::int32_t CreateStatusTrigger(std::int32_t kind);
  // A data trigger for text (1 to 22 characters, else -5002); -5001 when no
  // handle is left.
  std::int32_t AddDataTrigger(const std::string& text, bool ignore_case);
  std::int32_t DeleteTrigger(std::int32_t handle);
  std::int32_t ArmTimerTrigger(std::int32_t handle, std::int32_t ticks, bool activate);
  std::int32_t TimerTicksLeft(std::int32_t handle, std::int32_t& ticks);
  std::int32_t ArmStatusTrigger(std::int32_t handle, std::int32_t value, bool activate);
  void SetAvailThreshold(std::int32_t count);
  std::int32_t AvailThreshold();
  void ClearTriggers();
  void SnapshotTriggers(TriggerSnapshot& snapshot);
  void ReloadTriggers(const TriggerSnapshot& snapshot);

  // ---- Handlers
  void AddWindowHandler(platform::WindowHandle window);
  void AddProcHandler(TTriggerProc proc);
  void AddMethodHandler(const TTriggerMethod& method, bool synchronize);
  void RemoveWindowHandler(platform::WindowHandle window);
  // Where a device failure is told (kMsgDeviceFailed), so that the owner can
  // close a port whose threads have all stopped; None: nowhere.
  void SetFailureWindow(platform::WindowHandle window);
  // A worker thread has failed, so all of them are stopping or have stopped.
  bool DeviceFailed() const { return device_failed_; }
  void RemoveProcHandler(TTriggerProc proc);
  void RemoveMethodHandler(const TTriggerMethod& method);
  virtual void RecomputeHandlerFlags(std::int32_t mode);
  bool HandlersRunning() const { return handlers_running_.load(); }
  bool ClosePending() const { return close_pending_.load(); }

  std::int32_t SetUserSlot(void* pointer, std::int32_t index);
  std::int32_t GetUserSlot(void*& pointer, std::int32_t index);

  // ---- Trace and dispatch log
  std::int32_t StartTrace(std::int32_t size);
  std::int32_t ClearTrace();
  void StopTrace();
  void ResumeTrace();
  void PauseTrace();
  bool Tracing();
  void AddTraceEntry(char kind, std::uint8_t c);
  void StartLog(std::int32_t limit);
  void ClearLog();
  void StopLog();
  void ResumeLog();
  void PauseLog();
  bool Logging() const { return logging_.load(); }
  void AddLogEntry(std::uint8_t kind, std::uint16_t sub_kind, const std::uint8_t* data,
                   std::uint32_t size, std::uint32_t number);
  void AddLogEntry(std::uint8_t kind, std::uint16_t sub_kind, std::uint32_t number) {
    AddLogEntry(kind, sub_kind, nullptr, 0, number);
  }
  TIOQueue& LogQueue() { return log_queue_; }
  // Write the recorded trace or log as a text file: 0 or the negated error number.
  std::int32_t WriteTrace(const std::string& file_name, bool append, bool in_hex, bool all_hex);
  std::int32_t WriteLog(const std::string& file_name, bool append, bool in_hex, bool all_hex);

  // ---- Threads
  // Lets the device's threads run once.
  std::int32_t Yield() { return YieldDevice(); }
  std::int32_t RunningThreads() const { return running_threads_.load(); }
  virtual void SetPriorityBoost(std::uint8_t boost);

  // Translates legacy rate codes to bits per second.
  static std::int32_t BitsPerSecond(std::int32_t baud);

 protected:
  // ---- The device layer's operations
  virtual std::int32_t DeviceEscape(std::int32_t function) = 0;  // 3/4 RTS on/off, 5/6 DTR on/off
  virtual std::int32_t PurgeDevice(std::int32_t queue) = 0;      // 0 output, 1 input
  virtual std::uint32_t ReadDeviceErrors(TDeviceStatus& status) = 0;
  virtual void ReportDeviceError(std::int32_t code) = 0;
  virtual std::int32_t GetDeviceState(TDeviceControlBlock& dcb) = 0;
  virtual std::int32_t TakeInput(std::uint8_t* buffer, std::int32_t count) = 0;
  virtual std::int32_t SetDeviceState(const TDeviceControlBlock& dcb) = 0;
  virtual std::int32_t PutOutput(const std::uint8_t* buffer, std::int32_t count) = 0;
  virtual bool ReservedQuery(std::int32_t& value) = 0;
  virtual bool SetupDevice(std::int32_t in_size, std::int32_t out_size) = 0;
  virtual void ReleasePort();
  virtual void StartThreads() = 0;
  virtual void StopThreads() = 0;
  virtual std::int32_t OutputPending() = 0;
  // Bytes the device layer took from the send ring and has not yet handed to
  // the driver: still output on its way, though no longer in the ring.
  virtual std::int32_t OutputInFlight() { return 0; }
  virtual std::int32_t QueuedInput() { return 0; }
  // The dispatch thread's wait for work: returns when InputQueue has an item
  // or after ms. A device layer may read the device itself meanwhile.
  virtual void WaitForInput(std::uint32_t ms) { input_queue_.WaitForItem(ms); }
  // How many more received bytes it takes before a trigger can fire: more
  // than one only while the avail threshold alone waits for input (no data
  // trigger) and the ring holds less than it asks for. A device layer may
  // hold input back until that many bytes are there.
  std::int32_t InputBeforeAnyTrigger();
  // A non-negative handle, or a negated system error.
  virtual std::int32_t OpenDevice(const std::string& name, std::int32_t in_size,
                                  std::int32_t out_size) = 0;
  virtual void CloseDevice() = 0;
  virtual std::int32_t YieldDevice() = 0;
  // The line-state bits of the modem status: CTS 0x10, DSR 0x20, RI 0x40, DCD 0x80.
  virtual std::uint8_t DeviceModemStatus() = 0;
  virtual void DeviceBreak(bool on) = 0;

  // ---- For device layers
  // Creates and starts the dispatch thread; the device layer's StartThreads
  // calls it in its place among the worker threads.
  void CreateDispatchThread();
  // Stores a worker thread of the device layer and starts it.
  TQorDispatcherThread* AdoptThread(std::unique_ptr<TQorDispatcherThread>& slot,
                                    std::unique_ptr<TQorDispatcherThread> thread);
  // Waits for a worker thread to end, handling this thread's messages, at most
  // ms; true when it has gone. A thread never waits for itself.
  bool WaitThreadGone(std::unique_ptr<TQorDispatcherThread>& slot, std::uint32_t ms);
  // The thread's last act: reports its code, forgets it, counts it off.
  void ThreadGone(TQorDispatcherThread* thread, std::int32_t code);
  // A worker thread's first act: counts it in and acknowledges its start.
  void ThreadStarted();

  // An output-free or output-used trigger is armed: a device layer wakes the
  // dispatch thread when output room appears, so that it fires without
  // waiting for input or the next periodic check. Call without send_lock_.
  bool OutputTriggerArmed();
  // ArmStatusTrigger's work under StateLock; armed_kind is the trigger's kind.
  std::int32_t ArmStatusTriggerLocked(std::int32_t handle, std::int32_t value, bool activate,
                                      std::int32_t& armed_kind);

  // InputQueue and SendRing work shared by device layers.
  // Moves up to count queued bytes into buffer, stopping at a status buffer.
  std::int32_t TakeQueuedInput(std::uint8_t* buffer, std::int32_t count);
  // Bytes queued ahead of the first status buffer, not yet taken.
  std::int32_t QueuedDataBytes();
  // Bytes waiting in SendRing; call with send_lock_ held.
  std::int32_t SendRingPending() const;
  // Copies count bytes into SendRing at its head; call with send_lock_ held.
  void PutSendRing(const std::uint8_t* bytes, std::int32_t count);
  // Takes up to max bytes from SendRing's tail into out; call with send_lock_ held.
  std::int32_t TakeSendRing(std::uint8_t* out, std::int32_t max);

  platform::CriticalSection state_lock_;
  platform::CriticalSection send_lock_;
  platform::CriticalSection recv_lock_;

  TIOQueue input_queue_;
  platform::Event ack_event_{false, false};
  std::atomic<bool> kill_requested_{false};
  std::atomic<bool> threads_started_{false};
  std::atomic<bool> device_open_{false};
  std::int32_t in_size_ = 0;
  std::int32_t out_size_ = 0;
  std::vector<std::uint8_t> send_ring_;  // under send_lock_
  std::int32_t send_head_ = 0;
  std::int32_t send_tail_ = 0;
  bool send_ring_full_ = false;
  // Worker threads, each cleared when it ends (under state_lock_).
  std::unique_ptr<TQorDispatcherThread> read_thread_;
  std::unique_ptr<TQorDispatcherThread> dispatch_thread_;
  std::unique_ptr<TQorDispatcherThread> write_thread_;
  std::unique_ptr<TQorDispatcherThread> status_thread_;
  std::uint8_t priority_boost_ = 0;
  bool rs485_mode_ = false;
  TDeviceStatus device_status_;  // under state_lock_

  // Priority of a worker thread: normal plus the boost (plus one more for the
  // write thread in RS-485 mode).
  platform::Priority BoostedPriority(std::int32_t extra) const;

 private:
  friend class TDispThread;

  // Dispatch thread work.
  void DispatchLoop();
  void ProcessInputItem();
  // Moves queued input into RecvRing; true when the ring was full, so that
  // nothing could move until a reader makes room.
  bool FillRecvRing();
  void RunStatusTriggerLoop();
  void UpdateModemChanges();
  void RefreshLineErrors();
  // OutputUsed and OutputFree from one look at the device.
  void OutputCounts(std::int32_t& used, std::int32_t& free);
  void WaitOutputDrained();
  std::int32_t WriteControlBlock(TDeviceControlBlock& dcb);
  void ResetInputState();

  // Triggers (trigger_checks.cpp).
  std::int32_t NewTriggerHandle();
  std::int32_t FindTrigger(std::int32_t handle, bool erase, int& kind, std::size_t& index);
  bool CheckRecvTriggers();
  bool CheckStatusTriggers();
  bool CheckTimerTriggers();
  void CheckTimersAndStatus();
  void ResetStatusHits();
  bool NotifyHandlers(std::uint32_t msg, std::uintptr_t wParam, std::uint16_t low_word);
  void PurgeDeletedHandlers();

  // The dispatch thread's wait for input (dispatch_wait.cpp): how long it
  // may be, and its end.
  std::uint32_t BeginDispatchWait();
  void EndDispatchWait();
  // Under state_lock_: a change the dispatch thread must look at by due_ms
  // (the millisecond clock); wakes it if its wait would end later.
  void LookBy(std::uint32_t due_ms);

  // Whether a data trigger looks for a string; call with state_lock_ held.
  bool MatchingDataTriggers() const;
  // Unread bytes of the ring; call with recv_lock_ held.
  std::int32_t UnreadLocked() const;

  TQorBaseComponent* owner_;
  std::int32_t handle_ = -1;
  std::string device_name_;

  // Receive ring, under recv_lock_.
  std::vector<std::uint8_t> recv_ring_;
  std::int32_t recv_head_ = 0;
  std::int32_t recv_tail_ = 0;
  bool recv_ring_full_ = false;
  bool in_avail_call_ = false;
  std::int32_t take_count_ = 0;
  std::int32_t max_taken_ = 0;

  // Line state, under state_lock_.
  TDeviceControlBlock dcb_;
  std::int32_t current_baud_ = 0;
  std::uint32_t line_error_bits_ = 0;
  std::uint8_t modem_bits_ = 0;
  bool ring_seen_ = false;
  bool dtr_state_ = false;
  bool rts_state_ = false;
  bool dtr_by_flow_ = false;
  bool rts_by_flow_ = false;
  std::uint32_t option_bits_ = 0;
  std::atomic<bool> sent_flag_{false};
  std::uint32_t current_event_ = 0;  // dispatch thread only

  // Triggers, under state_lock_; the scan cursors belong to the dispatch thread.
  std::vector<TTimerTrigger> timer_triggers_;
  std::vector<TDataTrigger> data_triggers_;
  std::vector<TStatusTrigger> status_triggers_;
  std::int32_t avail_threshold_ = 0;
  std::int32_t trigger_counter_ = 1;
  std::int32_t scan_pos_ = 0;          // under recv_lock_
  std::uint32_t input_purges_ = 0;     // under recv_lock_: PurgeInputs so far
  std::int32_t avail_notified_at_ = 0; // under recv_lock_
  bool status_hit_seen_ = false;
  // The dispatch thread waits beyond its periodic check, until wait_end_ms_;
  // both under state_lock_.
  bool long_wait_ = false;
  std::uint32_t wait_end_ms_ = 0;

  // Handlers, under state_lock_.
  struct WindowHandler {
    platform::WindowHandle window;
    bool deleted = false;
  };
  struct ProcHandler {
    TTriggerProc proc;
    bool deleted = false;
  };
  struct MethodHandler {
    TTriggerMethod method;
    bool synchronize = false;
    bool deleted = false;
  };
  std::vector<WindowHandler> window_handlers_;
  platform::WindowHandle failure_window_ = platform::WindowHandle::None;  // under state_lock_
  std::atomic<bool> device_failed_{false};
  std::vector<ProcHandler> proc_handlers_;
  std::vector<MethodHandler> method_handlers_;
  bool port_wants_events_ = false;
  std::atomic<bool> notify_needed_{false};
  std::atomic<bool> handlers_running_{false};
  bool purge_pending_ = false;
  std::atomic<bool> close_pending_{false};
  std::atomic<bool> release_on_dispatch_exit_{false};

  std::array<void*, 3> user_slots_{};

  // Threads.
  std::atomic<std::int32_t> running_threads_{0};
  platform::Event threads_gone_{true, true};  // set while no worker thread runs
  std::vector<std::unique_ptr<TQorDispatcherThread>> retired_threads_;  // under state_lock_

  // Trace, under state_lock_.
  std::atomic<bool> tracing_{false};
  std::vector<std::uint8_t> trace_buffer_;  // two bytes an entry: kind, character
  std::int32_t trace_max_ = 0;
  std::int32_t trace_index_ = 0;
  bool trace_wrapped_ = false;

  // Dispatch log.
  std::atomic<bool> logging_{false};
  TIOQueue log_queue_;
  std::atomic<std::uint32_t> log_max_{0};
  std::atomic<std::uint32_t> log_time_base_{0};
};

}  // namespace qor
