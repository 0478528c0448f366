#pragma once
#include <cstdint>
#include <memory>
#include <string>

#include "app/recovery/recovery_view.hpp"
#include "comm/comport/com_port.hpp"
#include "comm/platform/message_timer.hpp"
#include "protocols/component/protocol_component.hpp"

namespace qor::app {

// The part of the wizard that drives the receiver once the user has pressed
// "Готово": it opens the port, wakes the boot loader with line ends, answers its
// six menu prompts, uploads the image with Kermit, sends the flash command and
// follows the flash output to "Update complete". Everything runs in the thread
// that owns the port's window (timer ticks, data events, the finish event).
class RecoverySequence {
 public:
  // The components belong to the window; the sequence gives them their settings
  // and events. status may be null (no status window).
  RecoverySequence(IRecoveryView& view, TQorComPort& sock_port, TQorProtocol& xfer_protocol,
                   TQorAbstractStatus* xfer_status);
  ~RecoverySequence();
  RecoverySequence(const RecoverySequence&) = delete;
  RecoverySequence& operator=(const RecoverySequence&) = delete;

  // ---- Set by the window
  void SetImageFileSize(std::int32_t size) { ImageFileSize = size; }
  void SetMenuAnswer(const std::string& answer) { MenuAnswer = answer; }
  const std::string& GetMenuAnswer() const { return MenuAnswer; }

  // ---- The operations of the sequence
  void OpenReceiverPort();
  void Timer1Timer();
  void Timer2Timer();
  void Timer3Timer();
  void Timer4Timer();
  void SockPortTriggerAvail(TQorCustomComPort& cp, std::uint16_t count);
  std::string ReadReceived(std::uint16_t count);
  static int CountOccurrences(const std::string& pattern, const std::string& text);
  void AnswerPrompt(int step);
  void StartUpload(const std::string& file_name);
  void XferProtocolProtocolFinish(TQorCustomProtocol& cp, std::int32_t error_code);
  void ShowFlashProgress(int mark_count);
  // The port closed because its device failed (an adapter pulled out): the
  // sequence stops and offers to close, instead of polling a dead line.
  void DeviceLost(std::int32_t error_code);

  // ---- State, visible for tests and the console view
  bool ReceiverAnswered = false;
  int HandshakeStep = 0;
  std::string HandshakeText;
  std::string FlashText;
  bool FlashStarted = false;
  std::int32_t FlashBlockSize = 65536;
  int FlashMarkCount = 0;
  std::int32_t ImageFileSize = 0;
  std::string MenuAnswer = "2\n\r";
  // True once "Update complete" was seen and the port closed.
  bool Completed() const { return completed_; }

  platform::MessageTimer& Timer1() { return timer1_; }
  platform::MessageTimer& Timer2() { return timer2_; }
  platform::MessageTimer& Timer3() { return timer3_; }
  platform::MessageTimer& Timer4() { return timer4_; }

 private:
  static void PortStateChanged(void* self, TQorCustomComPort& port, TPortNotice notice);

  IRecoveryView& view_;
  TQorComPort& sock_port_;
  TQorProtocol& xfer_protocol_;
  TQorAbstractStatus* xfer_status_;
  platform::MessageTimer timer1_;
  platform::MessageTimer timer2_;
  platform::MessageTimer timer3_;
  platform::MessageTimer timer4_;
  int timer2_ticks_ = 0;  // Timer2's tag
  bool completed_ = false;
};

}  // namespace qor::app
