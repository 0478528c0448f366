// Xmodem and Ymodem throughput to lrzsz's receivers: our transmitter against
// sx or sb sending the same file to the same rx or rb in the same run, over
// the same line (the sender on a pseudo-terminal, the receiver on a socket
// behind a relay, unthrottled: optimistic, no UART).
//
// xymodem_bench [KiB]: 1024 KiB of random bytes by default. The sender waits
// first; the clock runs from the start of the receiver to its exit. rx and rb
// pause about a second at their start and around each file whatever its size;
// both senders pay that.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "tests/protocols/kermit/peer_process.hpp"
#include "tests/protocols/xmodem/lrzsz_peer.hpp"
#include "tests/protocols/xmodem/socket_line.hpp"

namespace {

using Clock = std::chrono::steady_clock;
using namespace qor;
using namespace qor::testing;

constexpr int kOurPort = 251;

struct Mode {
  const char* name;
  TProtocolType ours;
  std::vector<std::string> sender;    // lrzsz's, without the file
  std::vector<std::string> receiver;  // lrzsz's
  bool names_file;                    // the receiver takes the name on its command line
};

struct Run {
  double seconds = 0;
  bool ok = false;
};

// With the sender waiting for it, from the start of the receiver until it has exited.
Run Time(const Mode& m, SocketLine& line, const TempDir& dir, const std::function<void()>& pump) {
  std::vector<std::string> argv = m.receiver;
  if (m.names_file) argv.push_back("received.bin");
  const auto begin = Clock::now();
  PeerProcess receiver(argv, dir.Path().string(), line.PeerFd());
  int status = -1;
  while (status < 0 && Clock::now() - begin < std::chrono::minutes(10)) {
    pump();
    status = receiver.Wait(0);
  }
  return {std::chrono::duration<double>(Clock::now() - begin).count(), status == 0};
}

bool Delivered(const Mode& m, const TempDir& dir, const std::string& file) {
  const std::string name = m.names_file ? "received.bin" : "image.bin";
  const std::string sent = TempDir::Read(file);
  const std::string got = TempDir::Read(dir.Path() / name);
  return m.names_file ? PaddedCopy(sent, got) : got == sent;
}

Run Ours(const Mode& m, const std::string& file) {
  TempDir dir;
  SocketLine line;
  Endpoint sender(line.OurLine(), kOurPort);
  UseProtocol(sender, m.ours);
  sender.Protocol().SetXYmodemBlockWait(91);
  sender.Protocol().SetFileName(file);
  bool offered = false;
  sender.Protocol().OnProtocolNextFile = [&](TQorCustomProtocol&, std::string& name) {
    name = offered ? "" : file;
    offered = true;
  };
  sender.Protocol().StartTransmit();
  Run run = Time(m, line, dir, [] { PumpUntil([] { return false; }, 1); });
  run.ok =
      run.ok && sender.WaitFinished(5000) && sender.finish_code == 0 && Delivered(m, dir, file);
  return run;
}

Run Theirs(const Mode& m, const std::string& file) {
  TempDir dir;
  SocketLine line;
  std::vector<std::string> argv = m.sender;
  argv.push_back(file);
  PeerProcess sender(argv, dir.Path().string(), line.OurLine());
  std::this_thread::sleep_for(std::chrono::milliseconds(200));  // the sender opens its line
  Run run = Time(m, line, dir, [] { std::this_thread::sleep_for(std::chrono::milliseconds(1)); });
  run.ok = run.ok && sender.Wait(5000) == 0 && Delivered(m, dir, file);
  return run;
}

}  // namespace

int main(int argc, char** argv) {
  long kib = argc > 1 ? std::strtol(argv[1], nullptr, 10) : 0;
  if (kib <= 0) kib = 1024;
  TempDir dir;
  const std::string file =
      dir.Write("image.bin", RandomBytes(static_cast<std::size_t>(kib) * 1024, 1, false));
  std::printf("Upload of %ld KiB of random bytes to lrzsz's receivers, unpaced line\n", kib);
  std::printf("%-22s %10s %12s %10s %12s %7s\n", "protocol", "ours s", "ours B/s", "lrzsz s",
              "lrzsz B/s", "ratio");
  const Mode modes[] = {
      {"Xmodem-CRC (128)", ptXmodemCRC, {"sx", "-q"}, {"rx", "-q", "-c"}, true},
      {"Xmodem-1K", ptXmodem1K, {"sx", "-q", "-k"}, {"rx", "-q", "-c"}, true},
      {"Ymodem (1K)", ptYmodem, {"sb", "-q", "-k"}, {"rb", "-q"}, false},
  };
  int failures = 0;
  for (const Mode& m : modes) {
    const Run ours = Ours(m, file);
    const Run theirs = Theirs(m, file);
    const double bytes = static_cast<double>(kib) * 1024;
    const double ours_rate = bytes / ours.seconds;
    const double theirs_rate = bytes / theirs.seconds;
    std::printf("%-22s %10.2f %12.0f %10.2f %12.0f %7.2f%s\n", m.name, ours.seconds, ours_rate,
                theirs.seconds, theirs_rate, ours_rate / theirs_rate,
                ours.ok && theirs.ok ? "" : "  (a transfer failed)");
    failures += ours.ok && theirs.ok ? 0 : 1;
  }
  std::printf("ratio = our throughput / lrzsz's (sx or sb)\n");
  return failures == 0 ? 0 : 1;
}
