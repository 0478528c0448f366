// Zmodem upload throughput and CPU time to lrzsz's rz over a relayed pty
// pair: our transmitter (qorxfer) against sz sending the same file to the
// same rz in the same run, with 1024-byte and with 8192-byte blocks. Both
// senders run as programs of their own, so that each one's CPU time is its
// own (wait4).
//
// zmodem_bench [--paced] [KiB]: by default the ptys run as fast as they go
// (optimistic: no UART) with 8192 KiB; --paced makes the relay pace the line
// at 115200 baud (11520 bytes/s), with 256 KiB by default.
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "tests/protocols/kermit/pty_relay.hpp"
#include "tests/protocols/kermit/temp_dir.hpp"
#include "tests/protocols/zmodem/zmodem_endpoint.hpp"

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;
using namespace qor::testing;

constexpr std::int64_t kLineBytesPerSecond = 11520;

// A program with line (when given) as stdin and stdout, stderr to a log.
class Child {
 public:
  Child(const std::vector<std::string>& argv, const std::string& dir, const std::string& line) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addchdir_np(&actions, dir.c_str());
    if (!line.empty()) {
      posix_spawn_file_actions_addopen(&actions, 0, line.c_str(), O_RDWR | O_NOCTTY, 0);
      posix_spawn_file_actions_adddup2(&actions, 0, 1);
    }
    posix_spawn_file_actions_addopen(&actions, 2, "bench.log", O_WRONLY | O_CREAT | O_APPEND, 0644);
    std::vector<char*> args;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    if (posix_spawnp(&pid_, args[0], &actions, nullptr, args.data(), environ) != 0) pid_ = -1;
    posix_spawn_file_actions_destroy(&actions);
  }
  ~Child() {
    if (pid_ > 0) {
      ::kill(pid_, SIGKILL);
      Reap(0);
    }
  }
  // True once it has ended (after at most ms); then Status and Cpu hold.
  bool Reap(int ms) {
    const auto end = Clock::now() + std::chrono::milliseconds(ms);
    while (pid_ > 0) {
      int status = 0;
      rusage use{};
      if (::wait4(pid_, &status, WNOHANG, &use) == pid_) {
        pid_ = -1;
        status_ = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        cpu_ = static_cast<double>(use.ru_utime.tv_sec + use.ru_stime.tv_sec) +
               static_cast<double>(use.ru_utime.tv_usec + use.ru_stime.tv_usec) / 1e6;
        return true;
      }
      if (Clock::now() >= end) return false;
      std::this_thread::sleep_for(std::chrono::microseconds(500));
    }
    return true;
  }
  int Status() const { return status_; }
  double Cpu() const { return cpu_; }

 private:
  pid_t pid_ = -1;
  int status_ = -1;
  double cpu_ = 0;
};

struct Run {
  double seconds = 0;
  double cpu = 0;  // the sender's
  bool ok = false;
};

// One upload of file to rz: from the sender's start to rz's exit.
Run Upload(const std::string& file, std::int64_t rate, bool eight_k, bool ours) {
  TempDir dir;
  PtyRelay relay(rate);
  Child receiver(RzCommand({"-y"}), dir.Path().string(), relay.PeerLine());
  WaitUntil([&] { return relay.PeerOpened(); }, 10000);
  std::vector<std::string> argv;
  if (ours) {
    argv = {QORXFER_PATH, "send", "--port", relay.OurLine(), "--protocol", "zmodem", "--quiet"};
    if (eight_k) argv.push_back("--zmodem-8k");
    argv.push_back(file);
  } else {
    argv = SzCommand({file}, eight_k ? std::vector<std::string>{"-8"} : std::vector<std::string>{});
  }
  const auto start = Clock::now();
  Child sender(argv, dir.Path().string(), ours ? "" : relay.OurLine());
  Run run;
  const bool received = receiver.Reap(600000);
  run.seconds = std::chrono::duration<double>(Clock::now() - start).count();
  const bool sent = sender.Reap(10000);
  run.cpu = sender.Cpu();
  const std::string name = file.substr(file.find_last_of('/') + 1);
  run.ok = received && sent && receiver.Status() == 0 && sender.Status() == 0 &&
           TempDir::Read(dir.Path() / name) == TempDir::Read(file);
  return run;
}

}  // namespace

int main(int argc, char** argv) {
  bool paced = false;
  long kib = 0;
  for (int i = 1; i < argc; ++i) {
    if (std::string(argv[i]) == "--paced") {
      paced = true;
    } else {
      kib = std::strtol(argv[i], nullptr, 10);
    }
  }
  if (kib <= 0) kib = paced ? 256 : 8192;
  const std::int64_t rate = paced ? kLineBytesPerSecond : 0;
  TempDir dir;
  const std::string file = dir.Write("image.bin", RandomBytes(static_cast<std::size_t>(kib) * 1024, 1, false));
  const double mib = static_cast<double>(kib) / 1024;
  std::printf("Zmodem upload of %ld KiB of random bytes to rz -y, %s\n", kib,
              paced ? "line paced at 115200 baud (11520 bytes/s)" : "unpaced pty pair");
  std::printf("%-12s %9s %10s %10s %9s %10s %10s %7s %7s\n", "blocks", "ours s", "ours KiB/s",
              "ours cpu/M", "sz s", "sz KiB/s", "sz cpu/M", "speed", "cpu");
  int failures = 0;
  for (const bool eight_k : {false, true}) {
    const Run ours = Upload(file, rate, eight_k, true);
    const Run theirs = Upload(file, rate, eight_k, false);
    const double ours_rate = kib / ours.seconds;
    const double theirs_rate = kib / theirs.seconds;
    std::printf("%-12s %9.2f %10.0f %10.3f %9.2f %10.0f %10.3f %7.2f %7.2f%s\n",
                eight_k ? "8192 (-8)" : "1024", ours.seconds, ours_rate, ours.cpu / mib,
                theirs.seconds, theirs_rate, theirs.cpu / mib, ours_rate / theirs_rate,
                ours.cpu / theirs.cpu, ours.ok && theirs.ok ? "" : "  (a transfer failed)");
    if (paced) {
      std::printf("%-12s %9.1f%% %30.1f%%\n", "  efficiency", 100 * ours_rate * 1024 / kLineBytesPerSecond,
                  100 * theirs_rate * 1024 / kLineBytesPerSecond);
    }
    failures += ours.ok && theirs.ok ? 0 : 1;
  }
  std::printf("speed = our throughput / sz's; cpu = our CPU seconds / sz's (per MiB: cpu/M)\n");
  return failures == 0 ? 0 : 1;
}
