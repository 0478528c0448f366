// Preloaded into lrzsz's programs by the tests: lrzsz writes its last bytes
// ("OO", an acknowledgement), drains (which a pseudo-terminal answers at once)
// and flushes the line as it exits, so that those bytes can vanish before the
// other side has read them. Here a flush never throws away output: what was
// written stays on the line for the relay (lrzsz flushes output elsewhere
// only to drop data that the receiver ignores anyway).
#include <dlfcn.h>
#include <termios.h>

extern "C" int tcflush(int fd, int queue) {
  using Flush = int (*)(int, int);
  static const auto real = reinterpret_cast<Flush>(dlsym(RTLD_NEXT, "tcflush"));
  if (queue == TCOFLUSH) return 0;
  return real(fd, queue == TCIOFLUSH ? TCIFLUSH : queue);
}
