#include "app/recovery/recovery_sequence.hpp"

#include <cmath>
#include <cstdio>

#include "comm/errors/error_text.hpp"
#include "comm/platform/exception_display.hpp"

namespace qor::app {

namespace {

// The boot loader's menu prompts and our answers, steps 1 to 6. The prompts are
// matched after the CR/LF swap of ReadReceived.
const std::string kBootPrompts[6] = {
    "  0 - Exit Menu and Boot Application\r\n->",
    "select device to enable (Enter to return to main menu)->",
    "  0 - Exit Menu and Boot Application\r\n->",
    "  Enter - \r\n\r\n  =>",
    "  0 - Exit Menu and Boot Application\r\n->",
    "       f. Hit enter to continue",
};
const std::string kFixedAnswers[6] = {"2", "002\n\r", "T", "", "0", "\n\r"};

std::string Format(const char* pattern, long long a) {
  char text[256];
  std::snprintf(text, sizeof text, pattern, a);
  return text;
}

std::string Format(const char* pattern, long long a, long long b) {
  char text[256];
  std::snprintf(text, sizeof text, pattern, a, b);
  return text;
}

// A timer handler that raises shows it; the timer keeps ticking.
std::function<void()> Guarded(std::function<void()> handler) {
  return [handler = std::move(handler)] {
    try {
      handler();
    } catch (...) {
      platform::HandleCurrentException();
    }
  };
}

}  // namespace

RecoverySequence::RecoverySequence(IRecoveryView& view, TQorComPort& sock_port,
                                   TQorProtocol& xfer_protocol, TQorAbstractStatus* xfer_status)
    : view_(view),
      sock_port_(sock_port),
      xfer_protocol_(xfer_protocol),
      xfer_status_(xfer_status),
      timer1_(Guarded([this] { Timer1Timer(); }), 1),
      timer2_(Guarded([this] { Timer2Timer(); }), 1000),
      timer3_(Guarded([this] { Timer3Timer(); }), 1000),
      timer4_(Guarded([this] { Timer4Timer(); }), 1000) {
  sock_port_.SetComNumber(1);
  sock_port_.SetBaud(115200);
  sock_port_.SetAutoOpen(false);
  sock_port_.SetTraceName("KESO.TRC");
  sock_port_.SetLogSize(0);
  sock_port_.SetLogName("KESO.LOG");
  sock_port_.SetTapiMode(tmOff);
  sock_port_.SetOnTriggerAvail(
      [this](TQorCustomComPort& cp, std::uint16_t count) { SockPortTriggerAvail(cp, count); });
  sock_port_.AddPortWatch(&RecoverySequence::PortStateChanged, this);

  xfer_protocol_.SetComPort(&sock_port_);
  xfer_protocol_.SetProtocolType(ptKermit);
  xfer_protocol_.SetDestinationDirectory("c:\\tmp");
  xfer_protocol_.SetFileMask("*.*");
  xfer_protocol_.SetBlockCheckMethod(bcmChecksum);
  xfer_protocol_.SetHandshakeWait(1092);
  xfer_protocol_.SetOverhead(20);
  xfer_protocol_.SetWriteFailAction(wfWriteAnyway);
  xfer_protocol_.SetStatusDisplay(xfer_status_);
  xfer_protocol_.SetStatusInterval(10);
  xfer_protocol_.SetKermitPadCharacter(0);
  xfer_protocol_.OnProtocolFinish = [this](TQorCustomProtocol& cp, std::int32_t code) {
    XferProtocolProtocolFinish(cp, code);
  };
}

RecoverySequence::~RecoverySequence() {
  sock_port_.RemovePortWatch(&RecoverySequence::PortStateChanged);
  sock_port_.SetOnTriggerAvail(nullptr);
  xfer_protocol_.OnProtocolFinish = nullptr;
}

void RecoverySequence::OpenReceiverPort() {
  view_.HideNavigationButtons();
  try {
    sock_port_.SetOpen(!sock_port_.Open());
    timer1_.SetEnabled(sock_port_.Open());
    if (sock_port_.Open()) view_.Log("Ожидаем подключение...");
  } catch (...) {
    timer1_.SetEnabled(false);
    view_.ShowError("Ошибка открытия порта.");
  }
}

void RecoverySequence::Timer1Timer() {
  if (!ReceiverAnswered) {
    sock_port_.SendString("\n\r");
    return;
  }
  view_.ShowProgressPage();
  view_.Log("Связь с ресивером установлена");
  timer1_.SetEnabled(false);
}

void RecoverySequence::SockPortTriggerAvail(TQorCustomComPort&, std::uint16_t count) {
  if (!ReceiverAnswered && count != 0) ReceiverAnswered = true;
  ReadReceived(count);
  if (HandshakeStep < 6) AnswerPrompt(HandshakeStep + 1);
  if (FlashStarted) timer4_.SetEnabled(true);
}

std::string RecoverySequence::ReadReceived(std::uint16_t count) {
  std::string chunk;
  for (int i = 0; i < count; ++i) {
    const char c = static_cast<char>(sock_port_.ReadChar());
    chunk.push_back(c == '\r' ? '\n' : c == '\n' ? '\r' : c);
  }
  HandshakeText += chunk;
  FlashText += chunk;
  return chunk;
}

int RecoverySequence::CountOccurrences(const std::string& pattern, const std::string& text) {
  // Non-overlapping, from the left.
  if (pattern.empty()) return 0;
  int count = 0;
  for (std::size_t at = text.find(pattern); at != std::string::npos;
       at = text.find(pattern, at + pattern.size())) {
    ++count;
  }
  return count;
}

void RecoverySequence::AnswerPrompt(int step) {
  if (CountOccurrences(kBootPrompts[step - 1], HandshakeText) == 0) return;
  HandshakeText.clear();
  sock_port_.SendString(step == 4 ? MenuAnswer : kFixedAnswers[step - 1]);
  HandshakeStep = step;
  view_.SetInfo(Format("Вход в загрузчик. Шаг %lld из 6", step));
  if (step == 6) {
    view_.Log("Вход в загрузчик выполнен");
    StartUpload(view_.ImageFileName());
  }
}

void RecoverySequence::StartUpload(const std::string& file_name) {
  try {
    xfer_protocol_.SetProtocolType(ptKermit);
    xfer_protocol_.SetFileMask(file_name);
    xfer_protocol_.StartTransmit();
    if (xfer_status_ != nullptr) xfer_status_->SetDisplayVisible(false);
    timer3_.SetEnabled(true);
    view_.Log("Загрузка файла в ресивер");
  } catch (...) {
    view_.ShowError("Ошибка передачи файла.");
  }
}

void RecoverySequence::Timer3Timer() {
  const std::int32_t bytes = xfer_protocol_.BytesTransferred();
  const std::int32_t size = xfer_protocol_.FileSize();
  if (bytes != 0 && size != 0) {
    // Nearest integer, halves to even (the default rounding mode).
    const double percent = static_cast<double>(bytes) / size * 100.0;
    view_.SetProgressPosition(static_cast<int>(std::nearbyint(percent)));
  }
  view_.SetInfo(Format("Передача файла: %lld из %lld", bytes, ImageFileSize));
}

void RecoverySequence::XferProtocolProtocolFinish(TQorCustomProtocol&, std::int32_t error_code) {
  timer3_.SetEnabled(false);
  // An upload cut off by a failed device says so, rather than "cancelled".
  if (error_code != 0 && sock_port_.DeviceFailure() != 0) error_code = sock_port_.DeviceFailure();
  if (error_code != 0) {
    // A partial image must never be written into flash.
    view_.Log("Ошибка передачи файла. " + ErrorText(error_code));
    view_.ShowError("Ошибка передачи файла.");
    sock_port_.SetOpen(false);
    view_.ShowCloseButton();
    return;
  }
  timer2_.SetEnabled(true);
  view_.SetInfo("Передача файла завершена");
  view_.Log("Загрузка файла завершена");
}

void RecoverySequence::Timer2Timer() {
  if (timer2_ticks_ == 0) view_.Log("Подготовка ресивера к прошивке");
  ++timer2_ticks_;
  if (timer2_ticks_ == 2) sock_port_.SendString("\r\n");
  if (timer2_ticks_ == 4) {
    FlashText.clear();
    view_.Log("Перенос файла во Flash");
    FlashStarted = true;
    sock_port_.SendString("y");
  }
  if (timer2_ticks_ > 4) timer2_.SetEnabled(false);
}

void RecoverySequence::Timer4Timer() {
  FlashStarted = false;
  const int marks = CountOccurrences("65536", FlashText);
  if (marks != FlashMarkCount) {
    FlashMarkCount = marks;
    ShowFlashProgress(marks);
  }
  if (CountOccurrences("Update complete", FlashText) > 0) {
    view_.ShowCloseButton();
    timer3_.SetEnabled(false);
    sock_port_.SetOpen(false);
    view_.Log("Прошивка ресивера завершена");
    view_.SetInfo("Прошивка ресивера успешно завершена");
    timer4_.SetEnabled(false);
    completed_ = true;
    view_.ShowInformation("Прошивка ресивера завершена успешно");
  }
}

void RecoverySequence::ShowFlashProgress(int mark_count) {
  const int blocks = (mark_count + 2) / 3;
  const std::int64_t size = ImageFileSize;
  const auto max = static_cast<int>((size + FlashBlockSize - 1) / FlashBlockSize);
  view_.SetProgressMax(max);
  view_.SetProgressPosition(blocks);
  view_.SetInfo(Format("Запись во Flash: %lld из %lld", static_cast<long long>(blocks) * 65536,
                       ImageFileSize));
}

void RecoverySequence::PortStateChanged(void* self, TQorCustomComPort& port, TPortNotice notice) {
  if (notice == pnClosed && port.DeviceFailure() != 0) {
    static_cast<RecoverySequence*>(self)->DeviceLost(port.DeviceFailure());
  }
}

void RecoverySequence::DeviceLost(std::int32_t error_code) {
  // During the upload the transfer's end reports it (Ошибка передачи файла.).
  if (timer3_.Enabled()) return;
  timer1_.SetEnabled(false);
  timer2_.SetEnabled(false);
  timer4_.SetEnabled(false);
  view_.Log(ErrorText(error_code));
  view_.ShowCloseButton();
}

}  // namespace qor::app
