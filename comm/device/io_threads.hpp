#pragma once
#include <array>
#include <memory>
#include <vector>

#include "comm/device/posix_dispatcher.hpp"

struct pollfd;

namespace qor {

// What the read, write and status threads share: the device, the stop
// signal, InputQueue, and the rules for ending. Every thread counts itself in
// with ThreadStarted and ends, whatever happened, with ThreadGone and its code.
class TQorPosixThread : public TQorDispatcherThread {
 public:
  explicit TQorPosixThread(TQorPosixDispatcher& device)
      : TQorDispatcherThread(device), device_(device), fd_(device.fd_.load()) {}

 protected:
  int Execute() final;
  // The thread's body; its return code.
  virtual std::int32_t Run() = 0;

  bool KillRequested() const { return device_.kill_requested_.load(); }
  // poll() that retries after signals; false when it failed.
  static bool Poll(pollfd* fds, int count, int timeout_ms);
  // Queues an event mask in its place among the received data.
  void PushStatus(std::uint32_t events);

  TQorPosixDispatcher& device_;
  const int fd_;
};

class TReadThread final : public TQorPosixThread {
 public:
  using TQorPosixThread::TQorPosixThread;

 protected:
  std::int32_t Run() override;

 private:
  // While the dispatch thread reads: waits until it is time to take over.
  void StandBy();
  // Reads as the device's reader until the line has been quiet for a while
  // and the dispatch thread can read again; false when the device is gone.
  bool ReadWhileBusy();

  TQorPosixDispatcher::TReadStaging staging_;
};

class TWriteThread final : public TQorPosixThread {
 public:
  using TQorPosixThread::TQorPosixThread;

 protected:
  std::int32_t Run() override;

 private:
  enum class Outcome { Done, Dropped, Failed };

  // Writes SendRing out until it is empty; false when the device failed.
  bool WritePending();
  // Dropped: a flush or the stop came first.
  Outcome WriteBlock(const std::uint8_t* bytes, std::size_t count);
  // Acknowledges a flush request; true when there was one.
  bool TakeFlush();
  // RS-485: waits until the last byte has left the line (or a flush or the
  // stop comes), so that RTS can drop.
  void AwaitTransmitterEmpty();

  std::vector<std::uint8_t> block_;
};

class TStatusThread final : public TQorPosixThread {
 public:
  using TQorPosixThread::TQorPosixThread;

 protected:
  std::int32_t Run() override;

 private:
  // A device without modem lines has nothing to watch until the stop.
  std::int32_t WaitForStop();
};

}  // namespace qor
