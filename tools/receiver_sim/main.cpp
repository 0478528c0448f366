// stellix-receiver-sim: plays the Stellix M9 boot loader on a serial line for
// the recovery wizard. Without --port it makes a null-modem pair of
// pseudo-terminals and prints the path of the end the wizard should open.
#include <CLI/CLI.hpp>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <optional>

#include "comm/device/port_table.hpp"
#include "comm/platform/message_queue.hpp"
#include "tools/linesim/line_simulator.hpp"
#include "tools/receiver_sim/boot_loader.hpp"

namespace {
constexpr int kSimPortNumber = 250;  // the table entry the simulator opens its end through
}

int main(int argc, char** argv) {
  CLI::App app{"stellix-receiver-sim - a Stellix M9 boot loader on a serial line"};
  std::string type = "kernel";
  std::string port;
  std::string expect;
  std::string dir;
  std::uint32_t power_on_delay = 0;
  bool silent = false;
  bool break_upload = false;
  double timeout = 0;
  std::uint32_t linger = 1500;
  std::uint32_t max_len = 80;
  int check = 1;
  double noise = 0;
  std::uint32_t seed = 1;
  std::string trace, log;
  app.add_option("--type", type, "Image type expected: kernel or rootfs")
      ->check(CLI::IsMember({"kernel", "rootfs"}))
      ->capture_default_str();
  app.add_option("--port", port, "Serve on this port (COMn or a device path) instead of a new pty pair");
  app.add_option("--expect", expect, "The received image must be byte-identical to this file");
  app.add_option("--dir", dir, "Directory for the received image (default: a new temporary one)");
  app.add_option("--power-on-delay", power_on_delay, "Stay silent this many ms after start");
  app.add_flag("--silent", silent, "Never answer (a receiver that is switched off)");
  app.add_flag("--break-upload", break_upload, "Break the upload off half way");
  app.add_option("--timeout", timeout, "Give up after this many seconds (0: never)");
  app.add_option("--max-len", max_len, "Longest Kermit packet the receiver accepts (10-1024)")
      ->check(CLI::Range(10, 1024))
      ->capture_default_str();
  app.add_option("--check", check, "Kermit block check type the receiver asks for (1, 2 or 3)")
      ->check(CLI::Range(1, 3))
      ->capture_default_str();
  app.add_option("--noise", noise, "Chance per byte of a flipped bit on the pty line (0-1)")
      ->check(CLI::Range(0.0, 1.0));
  app.add_option("--seed", seed, "Seed of the line noise")->capture_default_str();
  app.add_option("--linger", linger,
                 "Keep the line open this many ms after the end, as a receiver that stays on")
      ->capture_default_str();
  app.add_option("--trace", trace, "Write the port's byte trace to this file when it closes");
  app.add_option("--log", log, "Write the port's dispatch log to this file when it closes");
  CLI11_PARSE(app, argc, argv);

  std::unique_ptr<qor::tools::LineSimulator> modem;
  std::string own_end = port;
  if (port.empty()) {
    qor::tools::LineOptions line;
    line.flip_rate = noise;
    line.seed = seed;
    modem = std::make_unique<qor::tools::LineSimulator>(line);
    own_end = modem->EndA();
    std::printf("PORT %s\n", modem->EndB().c_str());
    std::fflush(stdout);
  }
  int number = qor::PortNumberOf(own_end);
  if (number == 0) {
    number = kSimPortNumber;
    ::setenv(("COM" + std::to_string(number)).c_str(), own_end.c_str(), 1);
  }
  if (dir.empty()) {
    dir = (std::filesystem::temp_directory_path() /
           ("stellix-sim-" + std::to_string(::getpid())))
              .string();
  }
  std::filesystem::create_directories(dir);

  qor::platform::SetMainThread();
  qor::TQorComPort sock;
  sock.SetComNumber(static_cast<std::uint16_t>(number));
  sock.SetBaud(115200);
  if (!trace.empty()) {
    sock.SetTraceSize(4000000);  // the largest: a whole upload
    sock.SetTraceName(trace);
    sock.SetTracing(qor::tlOn);
  }
  if (!log.empty()) {
    sock.SetLogSize(16000000);
    sock.SetLogName(log);
    sock.SetLogging(qor::tlOn);
  }
  qor::TQorProtocol protocol;
  qor::tools::BootLoaderOptions options;
  options.expected = type == "rootfs" ? qor::tools::ImageKind::RootFS : qor::tools::ImageKind::Kernel;
  options.power_on_delay_ms = power_on_delay;
  options.silent = silent;
  options.break_upload = break_upload;
  options.expected_file = expect;
  options.receive_dir = dir;
  qor::tools::BootLoader loader(sock, protocol, options);
  protocol.SetKermitMaxLen(max_len);
  protocol.SetBlockCheckMethod(check == 1   ? qor::bcmChecksum
                               : check == 2 ? qor::bcmChecksum2
                                            : qor::bcmCrcK);
  try {
    sock.SetOpen(true);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "stellix-receiver-sim: cannot open %s: %s\n", own_end.c_str(), e.what());
    return 2;
  }

  const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(timeout);
  while (!loader.Finished()) {
    if (timeout > 0 && std::chrono::steady_clock::now() > end) {
      std::printf("sim: timed out\n");
      sock.SetOpen(false);
      return 3;
    }
    qor::platform::WaitMessage(100);
    while (qor::platform::ProcessOneMessage() == qor::platform::PumpResult::Processed) {
    }
  }
  // The receiver stays on: the wizard closes its port before the line goes.
  const auto linger_end = std::chrono::steady_clock::now() + std::chrono::milliseconds(linger);
  while (std::chrono::steady_clock::now() < linger_end) {
    qor::platform::WaitMessage(10);
    while (qor::platform::ProcessOneMessage() == qor::platform::PumpResult::Processed) {
    }
  }
  std::printf("sim: %s\n", loader.Verdict().c_str());
  sock.SetOpen(false);
  return loader.Result();
}
