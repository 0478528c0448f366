// Preloaded into lrzsz's programs by the tests: lrzsz writes its last bytes
// ("OO", an acknowledgement), drains (which a pseudo-terminal answers at once)
// and flushes the line as it exits, so that those bytes can vanish before the
// other side has read them. A short pause before a flush of output lets the
// relay take them first.
#include <dlfcn.h>
#include <termios.h>

#include <chrono>
#include <thread>

extern "C" int tcflush(int fd, int queue) {
  using Flush = int (*)(int, int);
  static const auto real = reinterpret_cast<Flush>(dlsym(RTLD_NEXT, "tcflush"));
  if (queue == TCOFLUSH || queue == TCIOFLUSH) {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  return real(fd, queue);
}
