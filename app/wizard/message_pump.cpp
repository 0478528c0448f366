#include "app/wizard/message_pump.hpp"

#include <QCoreApplication>

#include "comm/platform/exception_display.hpp"
#include "comm/platform/message_queue.hpp"

namespace qor::app {

TMessagePump::TMessagePump() : notifier_(platform::NotifyFd(), QSocketNotifier::Read) {
  QObject::connect(&notifier_, &QSocketNotifier::activated, [] { Drain(); });
}

void TMessagePump::Drain() {
  for (;;) {
    int quit_code = 0;
    platform::PumpResult result = platform::PumpResult::None;
    try {
      result = platform::ProcessOneMessage(platform::QuitMode::Take, &quit_code);
    } catch (...) {
      platform::HandleCurrentException();
      continue;
    }
    if (result == platform::PumpResult::None) return;
    if (result == platform::PumpResult::Quit) {
      QCoreApplication::exit(quit_code);
      return;
    }
  }
}

}  // namespace qor::app
