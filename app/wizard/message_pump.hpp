#pragma once
#include <QSocketNotifier>

namespace qor::app {

// Runs the library's message queue of the calling thread from Qt's event
// loop: window messages, timer ticks and cross-thread calls of the com port
// and the protocol component are handled whenever Qt's loop runs.
class TMessagePump {
 public:
  TMessagePump();
  TMessagePump(const TMessagePump&) = delete;
  TMessagePump& operator=(const TMessagePump&) = delete;

  // Handles every message waiting now.
  static void Drain();

 private:
  QSocketNotifier notifier_;
};

}  // namespace qor::app
