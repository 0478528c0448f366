#include "app/recovery/headless.hpp"

#include <cstdio>
#include <memory>

#include "app/recovery/console_view.hpp"
#include "app/recovery/recovery_sequence.hpp"
#include "comm/platform/exception_display.hpp"
#include "comm/platform/message_queue.hpp"
#include "comm/platform/message_timer.hpp"

namespace qor::app {

int RunHeadlessRecovery(const HeadlessOptions& options) {
  platform::SetMainThread();
  ConsoleView view(options.image);
  TQorComPort sock_port;
  TQorProtocol xfer_protocol;
  RecoverySequence sequence(view, sock_port, xfer_protocol, nullptr);
  sock_port.SetComNumber(static_cast<std::uint16_t>(options.port));
  if (!options.trace_file.empty()) {
    sock_port.SetTraceSize(4000000);  // the largest: a whole upload
    sock_port.SetTraceName(options.trace_file);
    sock_port.SetTracing(tlOn);
  }
  if (!options.log_file.empty()) {
    sock_port.SetLogSize(16000000);
    sock_port.SetLogName(options.log_file);
    sock_port.SetLogging(tlOn);
  }
  sequence.SetMenuAnswer(options.rootfs ? "3\r\n" : "2\r\n");
  std::FILE* f = std::fopen(options.image.c_str(), "rb");
  if (f != nullptr && std::fseek(f, 0, SEEK_END) == 0) {
    sequence.SetImageFileSize(static_cast<std::int32_t>(std::ftell(f)));
  } else {
    sequence.SetImageFileSize(-1);
  }
  if (f != nullptr) std::fclose(f);

  std::unique_ptr<platform::MessageTimer> deadline;
  if (options.timeout_seconds > 0) {
    deadline = std::make_unique<platform::MessageTimer>(
        [] {
          std::printf("Error: no answer in time\n");
          platform::PostQuitMessage(2);
        },
        static_cast<std::uint32_t>(options.timeout_seconds * 1000));
    deadline->SetEnabled(true);
  }
  // The three lines the wizard writes when "Готово" is pressed.
  view.Log("Порт: " + (options.port_text.empty() ? "COM" + std::to_string(options.port)
                                                   : options.port_text));
  view.Log(std::string("Режим прошивки: ") + (options.rootfs ? "RootFS" : "KERNEL"));
  view.Log("Загружаемый файл: " + options.image);
  sequence.OpenReceiverPort();
  const int code = platform::RunUntilQuit();
  if (deadline) deadline->SetEnabled(false);
  try {
    sock_port.SetOpen(false);
  } catch (...) {
    platform::HandleCurrentException();
  }
  return code;
}

}  // namespace qor::app
