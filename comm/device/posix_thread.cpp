#include <cerrno>
#include <new>

#include <poll.h>

#include "comm/device/io_threads.hpp"
#include "comm/errors/exceptions.hpp"
#include "comm/platform/exception_display.hpp"

namespace qor {

namespace {

// No memory for a buffer.
constexpr std::int32_t kNoMemory = -13868;

}  // namespace

int TQorPosixThread::Execute() {
  device_.ThreadStarted();
  std::int32_t code = 0;
  try {
    code = Run();
  } catch (const std::bad_alloc&) {
    code = device_.ThreadFailed(kNoMemory);
  } catch (const EQORException&) {  // "Insufficient memory to allocate I/O buffer."
    code = device_.ThreadFailed(kNoMemory);
  } catch (...) {
    platform::HandleCurrentException();
    code = device_.ThreadFailed(0);
  }
  device_.ThreadGone(this, code);
  return code;
}

bool TQorPosixThread::Poll(pollfd* fds, int count, int timeout_ms) {
  for (;;) {
    if (poll(fds, static_cast<nfds_t>(count), timeout_ms) >= 0) return true;
    if (errno != EINTR) return false;
  }
}

void TQorPosixThread::PushStatus(std::uint32_t events) {
  device_.input_queue_.Push(std::make_unique<TStatusBuffer>(events));
}

}  // namespace qor
