#pragma once
// SIGINT and SIGTERM as a descriptor, so that the pump sleeps until a message
// or an interrupt comes instead of looking for a flag several times a second.

namespace qor::xfer {

class InterruptWatch {
 public:
  // Blocks both signals in the calling thread, and so in every thread it
  // starts from now on; create it before the port opens.
  InterruptWatch();
  // Drops interrupts not taken (the transfer was cancelled already) and
  // restores the signal mask.
  ~InterruptWatch();
  InterruptWatch(const InterruptWatch&) = delete;
  InterruptWatch& operator=(const InterruptWatch&) = delete;

  // Readable while an interrupt waits; -1 if none could be opened (then the
  // signals are left as they were, and end the program as usual).
  int Fd() const { return fd_; }
  // Takes the interrupts that wait; true if there was one.
  bool Take();

 private:
  int fd_ = -1;
  bool blocked_ = false;
};

}  // namespace qor::xfer
