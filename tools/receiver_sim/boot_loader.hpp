#pragma once
#include <cstdint>
#include <initializer_list>
#include <memory>
#include <string>

#include "comm/comport/com_port.hpp"
#include "comm/platform/message_timer.hpp"
#include "protocols/component/protocol_component.hpp"

namespace qor::tools {

enum class ImageKind { Kernel, RootFS };

struct BootLoaderOptions {
  ImageKind expected = ImageKind::Kernel;
  std::uint32_t power_on_delay_ms = 0;  // silent this long after start
  bool silent = false;                  // never answers at all
  bool break_upload = false;            // breaks the upload off part way
  std::string expected_file;            // the received image must equal it
  std::string receive_dir;              // where the image is stored
  std::uint32_t flash_step_ms = 20;     // pause between flash log lines
};

// Plays the receiver's boot loader on an open com port: menus and prompts with
// LF CR line ends, checks every answer (a wrong one prints the menu again),
// receives the image with Kermit, waits for CR LF and "y", prints the flash log
// with three "65536" marks per 64 KiB block and "Update complete". Runs in the
// thread that opened the port.
class BootLoader {
 public:
  BootLoader(TQorComPort& port, TQorProtocol& protocol, BootLoaderOptions options);
  ~BootLoader();

  // Ends the run loop when set: 0 all well, 1 something was wrong.
  bool Finished() const { return finished_; }
  int Result() const { return result_; }
  const std::string& Verdict() const { return verdict_; }

 private:
  enum class State {
    Off,
    WaitWake,
    MainMenu1,      // expects "2"
    DevicePrompt,   // expects "002\n\r"
    MainMenu3,      // expects "T"
    ImageMenu,      // expects "2\r\n", "2\n\r" or "3\r\n"
    MainMenu5,      // expects "0"
    Continue,       // expects "\n\r"
    Receiving,
    WaitFlashCrLf,  // waits for "\r\n", anything before it is let go
    WaitFlashY,     // expects "y"
    Flashing,
    Done,
  };

  void OnData(TQorCustomComPort& cp, std::uint16_t count);
  void Handle(char c);
  void Expect(std::initializer_list<std::string> answers, State next, const std::string& reprint);
  void Print(const std::string& text);
  void StartReceive();
  void ReceiveFinished(std::int32_t code);
  void FlashTick();
  void Finish(int result, const std::string& verdict);

  TQorComPort& port_;
  TQorProtocol& protocol_;
  BootLoaderOptions options_;
  State state_ = State::Off;
  std::string pending_;  // answer bytes collected so far
  std::string received_file_;
  std::int64_t image_size_ = 0;
  std::int64_t flash_blocks_ = 0;
  std::int64_t flash_done_ = 0;
  platform::MessageTimer power_on_;
  platform::MessageTimer flash_timer_;
  bool finished_ = false;
  int result_ = 0;
  std::string verdict_;
};

}  // namespace qor::tools
