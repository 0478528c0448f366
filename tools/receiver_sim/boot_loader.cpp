#include "tools/receiver_sim/boot_loader.hpp"

#include <cstdio>
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace qor::tools {

namespace {

const char kBanner[] = "\n\rStellix M9 boot loader 2.1\n\r";
const char kMainMenu[] =
    "\n\r  Main menu\n\r  1 - Device setup\n\r  2 - Enable devices\n\r  T - Transfer image\n\r"
    "  0 - Exit Menu and Boot Application\n\r->";
const char kDevicePrompt[] =
    "\n\r  000 - none\n\r  002 - serial download\n\r"
    "select device to enable (Enter to return to main menu)->";
const char kImageMenu[] =
    "\n\r  Image to receive\n\r  2 - kernel\n\r  3 - root file system\n\r  Enter - \n\r\n\r  =>";
const char kContinue[] =
    "\n\r  a. Erase image area\n\r  b. Receive image (Kermit)\n\r"
    "       f. Hit enter to continue";

constexpr std::uint8_t kKernelSignature[5] = {0x00, 0x52, 0x50, 0x4F, 0x00};
constexpr std::uint8_t kRootFsSignature[5] = {0x28, 0xCD, 0x3D, 0x45, 0x00};

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace

BootLoader::BootLoader(TQorComPort& port, TQorProtocol& protocol, BootLoaderOptions options)
    : port_(port),
      protocol_(protocol),
      options_(std::move(options)),
      power_on_([this] {
        power_on_.SetEnabled(false);
        if (state_ == State::Off && !options_.silent) state_ = State::WaitWake;
      }, options_.power_on_delay_ms == 0 ? 1 : options_.power_on_delay_ms),
      flash_timer_([this] { FlashTick(); }, options_.flash_step_ms == 0 ? 1 : options_.flash_step_ms) {
  port_.SetOnTriggerAvail([this](TQorCustomComPort& cp, std::uint16_t n) { OnData(cp, n); });
  protocol_.SetComPort(&port_);
  protocol_.SetProtocolType(ptKermit);
  protocol_.SetDestinationDirectory(options_.receive_dir);
  protocol_.SetWriteFailAction(wfWriteAnyway);
  protocol_.OnProtocolFinish = [this](TQorCustomProtocol&, std::int32_t code) {
    ReceiveFinished(code);
  };
  power_on_.SetEnabled(true);
}

BootLoader::~BootLoader() {
  port_.SetOnTriggerAvail(nullptr);
  protocol_.OnProtocolFinish = nullptr;
}

void BootLoader::Print(const std::string& text) { port_.SendString(text); }

void BootLoader::OnData(TQorCustomComPort& cp, std::uint16_t count) {
  // The sender need not announce a size: break off after the first 32 KiB.
  // Checked on every arrival rather than on status reports, which a short
  // upload may never get.
  if (state_ == State::Receiving && options_.break_upload && protocol_.InProgress() &&
      protocol_.BytesTransferred() > 32768) {
    protocol_.CancelTransfer();
  }
  // While the engine receives, the line is the engine's: its packets are not
  // menu answers. Reading stops as soon as the reception starts, so that the
  // engine's first look at the line sees the bytes behind the last answer.
  for (int i = 0; i < count && state_ != State::Receiving; ++i) {
    Handle(static_cast<char>(cp.ReadChar()));
  }
}

void BootLoader::Expect(std::initializer_list<std::string> answers, State next,
                        const std::string& reprint) {
  bool partial = false;
  for (const std::string& answer : answers) {
    if (pending_ == answer) {
      pending_.clear();
      state_ = next;
      return;
    }
    partial = partial || answer.compare(0, pending_.size(), pending_) == 0;
  }
  if (partial) return;  // more to come
  pending_.clear();
  Print(reprint);  // a wrong answer: the menu again
}

void BootLoader::Handle(char c) {
  const bool line_end = c == '\r' || c == '\n';
  switch (state_) {
    case State::Off:
    case State::Receiving:
    case State::Flashing:
    case State::Done:
      return;
    case State::WaitWake:
      if (line_end) {
        Print(std::string(kBanner) + kMainMenu);
        state_ = State::MainMenu1;
      }
      return;
    default:
      break;
  }
  // Line ends that were on their way before a menu came are not answers.
  const bool single_char_answer = state_ == State::MainMenu1 || state_ == State::MainMenu3 ||
                                  state_ == State::MainMenu5 || state_ == State::WaitFlashY;
  if (line_end && pending_.empty() && single_char_answer) return;
  pending_.push_back(c);
  switch (state_) {
    case State::MainMenu1:
      Expect({"2"}, State::DevicePrompt, kMainMenu);
      if (state_ == State::DevicePrompt) Print(kDevicePrompt);
      break;
    case State::DevicePrompt:
      Expect({"002\n\r"}, State::MainMenu3, kDevicePrompt);
      if (state_ == State::MainMenu3) Print(kMainMenu);
      break;
    case State::MainMenu3:
      Expect({"T"}, State::ImageMenu, kMainMenu);
      if (state_ == State::ImageMenu) Print(kImageMenu);
      break;
    case State::ImageMenu:
      // Until the user picks a type the wizard answers the kernel choice "2\n\r".
      if (options_.expected == ImageKind::Kernel) {
        Expect({"2\r\n", "2\n\r"}, State::MainMenu5, kImageMenu);
      } else {
        Expect({"3\r\n"}, State::MainMenu5, kImageMenu);
      }
      if (state_ == State::MainMenu5) Print(kMainMenu);
      break;
    case State::MainMenu5:
      Expect({"0"}, State::Continue, kMainMenu);
      if (state_ == State::Continue) Print(kContinue);
      break;
    case State::Continue:
      Expect({"\n\r"}, State::Receiving, kContinue);
      if (state_ == State::Receiving) StartReceive();
      break;
    case State::WaitFlashCrLf:
      // Every data handler sees the same bytes, and the end of the reception
      // can be reported before this handler has seen the last packet: the
      // tail of the Kermit exchange may still come here. Like a line editor,
      // wait for the line end and let anything before it go.
      if (pending_.size() > 2) pending_.erase(0, pending_.size() - 2);
      if (pending_.size() == 2 && pending_.compare(pending_.size() - 2, 2, "\r\n") == 0) {
        pending_.clear();
        state_ = State::WaitFlashY;
      }
      break;
    case State::WaitFlashY:
      Expect({"y"}, State::Flashing, "\n\r=>");
      if (state_ == State::Flashing) {
        Print("\n\rWriting image to flash\n\r");
        flash_timer_.SetEnabled(true);
      }
      break;
    default:
      break;
  }
}

void BootLoader::StartReceive() {
  std::printf("sim: receiving the image\n");
  std::fflush(stdout);
  try {
    protocol_.StartReceive();
  } catch (const std::exception& e) {
    Finish(1, std::string("cannot receive: ") + e.what());
  }
}

void BootLoader::ReceiveFinished(std::int32_t code) {
  received_file_ = protocol_.FileName();
  if (code != 0) {
    Print("\n\rImage transfer failed\n\r=>");
    Finish(1, "upload broken off, code " + std::to_string(code));
    return;
  }
  std::error_code ec;
  image_size_ = static_cast<std::int64_t>(std::filesystem::file_size(received_file_, ec));
  if (ec) image_size_ = 0;
  flash_blocks_ = (image_size_ + 65535) / 65536;
  flash_done_ = 0;
  Print("\n\rImage received\n\r=>");
  state_ = State::WaitFlashCrLf;
}

void BootLoader::FlashTick() {
  if (flash_done_ < flash_blocks_) {
    char line[160];
    const long long at = flash_done_ * 65536;
    std::snprintf(line, sizeof line,
                  "Erase  0x%08llx 65536\n\rWrite  0x%08llx 65536\n\rVerify 0x%08llx 65536\n\r", at,
                  at, at);
    Print(line);
    ++flash_done_;
    return;
  }
  flash_timer_.SetEnabled(false);
  Print("Update complete\n\r");
  const std::string image = ReadFile(received_file_);
  const std::uint8_t* want =
      options_.expected == ImageKind::Kernel ? kKernelSignature : kRootFsSignature;
  if (image.size() < 5 || !std::equal(want, want + 5, reinterpret_cast<const std::uint8_t*>(image.data()))) {
    Finish(1, "the image does not carry the expected signature");
  } else if (!options_.expected_file.empty() && image != ReadFile(options_.expected_file)) {
    Finish(1, "the image differs from " + options_.expected_file);
  } else {
    Finish(0, "image of " + std::to_string(image.size()) + " bytes received and flashed");
  }
}

void BootLoader::Finish(int result, const std::string& verdict) {
  state_ = State::Done;
  finished_ = true;
  result_ = result;
  verdict_ = verdict;
}

}  // namespace qor::tools
