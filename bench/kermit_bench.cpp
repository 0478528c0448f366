// Kermit upload throughput to G-Kermit receiving over a relayed pty pair: our
// transmitter against C-Kermit sending the same file to the same receiver in
// the same run, for the recovery wizard's settings (80-byte packets, check 1,
// stop-and-wait) and for 1024-byte packets with 8 windows and check 3 (G-Kermit
// has no windows, so that row is stop-and-wait with long packets).
//
// The download table turns it round: C-Kermit sends the same file to our
// receiver and to G-Kermit receiving, in the same run (stop-and-wait on both
// receivers, since G-Kermit has none).
//
// kermit_bench [--unpaced] [KiB]: by default the relay paces the line at
// 115200 baud (11520 bytes/s) and sends 64 KiB; --unpaced lets the ptys run
// as fast as they go (optimistic: no UART), with 1024 KiB by default.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "tests/device/pty_pair.hpp"
#include "tests/protocols/kermit/kermit_peers.hpp"
#include "tests/protocols/kermit/peer_process.hpp"
#include "tests/protocols/kermit/pty_relay.hpp"
#include "tests/protocols/kermit/temp_dir.hpp"
#include "tests/protocols/kermit/uploader.hpp"
#include "tests/protocols/kermit_receive/endpoint.hpp"

namespace {

using Clock = std::chrono::steady_clock;
using namespace qor;
using namespace qor::testing;

constexpr std::int64_t kLineBytesPerSecond = 11520;

struct Settings {
  const char* name;
  int packet_length;  // 80: normal packets; more: long packets
  int windows;
  int check;
};

struct Run {
  double seconds = 0;
  bool ok = false;
};

// Waits for the sender's first byte, then for the receiver to exit.
Run Time(PtyRelay& relay, PeerProcess& receiver, const std::function<bool()>& pump) {
  Run run;
  if (!WaitUntil([&] { return pump() && relay.SentByUs() > 0; }, 30000)) return run;
  const auto start = Clock::now();
  int status = -1;
  while (status < 0 && Clock::now() - start < std::chrono::minutes(10)) {
    pump();
    status = receiver.Wait(1);
  }
  run.seconds = std::chrono::duration<double>(Clock::now() - start).count();
  run.ok = status == 0;
  return run;
}

std::vector<std::string> Receiver(const Settings& s) {
  ReceiverOptions options;
  options.packet_length = s.packet_length;
  options.as_name = "received.bin";
  return GkermitReceive(options);
}

Run Ours(const Settings& s, const std::string& file, std::int64_t rate) {
  TempDir dir;
  PtyRelay relay(rate);
  PeerProcess receiver(Receiver(s), dir.Path().string(), relay.PeerLine());
  WaitUntil([&] { return relay.PeerOpened(); }, 10000);
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  Uploader up(relay.OurLine());
  up.WizardSettings();
  up.Data().BlockCheckMethod = s.check == 3 ? bcmCrcK : s.check == 2 ? bcmChecksum2 : bcmChecksum;
  if (s.packet_length > 94) SetKermitMaxLongLen(up.Data(), static_cast<std::uint32_t>(s.packet_length));
  SetKermitMaxWindows(up.Data(), static_cast<std::uint32_t>(s.windows));
  up.Send({file});
  Run run = Time(relay, receiver, [&] {
    up.Pump(1);
    return true;
  });
  run.ok = run.ok && up.WaitFinished(5000) && up.FinishCode() == 0 &&
           TempDir::Read(dir.Path() / "received.bin") == TempDir::Read(file);
  return run;
}

// C-Kermit sending file on line; its script goes into dir.
std::vector<std::string> CKermitSend(const Settings& s, const std::string& file,
                                     const TempDir& dir, const std::string& line) {
  const std::string script = (dir.Path() / "send.ksc").string();
  std::ofstream(script) << "set line " << line << "\n"
                        << "set carrier-watch off\nset modem type none\nset flow none\n"
                        << "set file type binary\nset file names literal\n"
                        << "set protocol kermit {} {} {}\n"
                        << "set exit hangup off\n"
                        << "set send packet-length " << s.packet_length << "\n"
                        << "set receive packet-length " << s.packet_length << "\n"
                        << "set window " << s.windows << "\n"
                        << "set block-check " << s.check << "\n"
                        << "send " << file << "\nexit\n";
  return {"kermit", "+", script};
}

Run CKermit(const Settings& s, const std::string& file, std::int64_t rate) {
  TempDir dir;
  PtyRelay relay(rate);
  PeerProcess receiver(Receiver(s), dir.Path().string(), relay.PeerLine());
  WaitUntil([&] { return relay.PeerOpened(); }, 10000);
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  PeerProcess sender(CKermitSend(s, file, dir, relay.OurLine()), dir.Path().string(), "");
  Run run = Time(relay, receiver, [] { return true; });
  sender.Wait(5000);
  run.ok = run.ok && TempDir::Read(dir.Path() / "received.bin") == TempDir::Read(file);
  return run;
}

// C-Kermit sends to our receiver on our line of the relay; timed from our
// first answer to our finish.
Run DownloadOurs(const Settings& s, const std::string& file, std::int64_t rate) {
  constexpr int kReceiverPort = 244;
  TempDir dir;
  const std::filesystem::path dest = dir.Path() / "in";
  std::filesystem::create_directories(dest);
  PtyRelay relay(rate);
  Endpoint receiver(relay.OurLine(), kReceiverPort);
  TQorProtocol& p = receiver.Protocol();
  p.SetDestinationDirectory(dest.string());
  p.SetKermitMaxLen(static_cast<std::uint32_t>(s.packet_length));
  p.SetKermitMaxWindows(static_cast<std::uint32_t>(s.windows));
  p.StartReceive();
  PeerProcess sender(CKermitSend(s, file, dir, relay.PeerLine()), dir.Path().string(), "");
  Run run;
  if (!PumpUntil([&] { return relay.SentByUs() > 0; }, 30000)) return run;
  const auto start = Clock::now();
  receiver.WaitFinished(10 * 60 * 1000);
  run.seconds = std::chrono::duration<double>(Clock::now() - start).count();
  receiver.WaitOutputSent(3000);
  sender.Wait(10000);
  const std::filesystem::path got = dest / std::filesystem::path(file).filename();
  run.ok = receiver.finished && receiver.finish_code == 0 && std::filesystem::exists(got) &&
           TempDir::Read(got) == TempDir::Read(file);
  return run;
}

// The same sender to G-Kermit on the same line of the relay.
Run DownloadGkermit(const Settings& s, const std::string& file, std::int64_t rate) {
  TempDir dir;
  PtyRelay relay(rate);
  PeerProcess receiver(Receiver(s), dir.Path().string(), relay.OurLine());
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  PeerProcess sender(CKermitSend(s, file, dir, relay.PeerLine()), dir.Path().string(), "");
  Run run = Time(relay, receiver, [] { return true; });
  sender.Wait(5000);
  run.ok = run.ok && TempDir::Read(dir.Path() / "received.bin") == TempDir::Read(file);
  return run;
}

// One table row: both rates, their ratio and, on a paced line, the efficiency.
bool PrintRow(const char* name, const Run& ours, const Run& theirs, double bytes, bool paced) {
  const double ours_rate = bytes / ours.seconds;
  const double theirs_rate = bytes / theirs.seconds;
  std::printf("%-34s %10.2f %10.0f %10.2f %10.0f %7.2f%s\n", name, ours.seconds, ours_rate,
              theirs.seconds, theirs_rate, ours_rate / theirs_rate,
              ours.ok && theirs.ok ? "" : "  (a transfer failed)");
  if (paced) {
    std::printf("%-34s %10.1f%% %21.1f%%\n", "  efficiency (of 11520 B/s)",
                100 * ours_rate / kLineBytesPerSecond, 100 * theirs_rate / kLineBytesPerSecond);
  }
  return ours.ok && theirs.ok;
}

}  // namespace

int main(int argc, char** argv) {
  bool paced = true;
  long kib = 0;
  for (int i = 1; i < argc; ++i) {
    if (std::string(argv[i]) == "--unpaced") {
      paced = false;
    } else {
      kib = std::strtol(argv[i], nullptr, 10);
    }
  }
  if (kib <= 0) kib = paced ? 64 : 1024;
  const std::int64_t rate = paced ? kLineBytesPerSecond : 0;
  TempDir dir;
  const std::string file = dir.Write("image.bin", RandomBytes(static_cast<std::size_t>(kib) * 1024, 1, false));
  std::printf("Kermit upload of %ld KiB of random bytes to gkermit -r, %s\n", kib,
              paced ? "line paced at 115200 baud (11520 bytes/s)" : "unpaced pty pair");
  std::printf("%-34s %10s %10s %10s %10s %7s\n", "settings", "ours s", "ours B/s", "ckermit s",
              "ckerm B/s", "ratio");
  const Settings settings[] = {{"wizard: 80, check 1, no windows", 80, 1, 1},
                               {"1024, 8 windows, check 3", 1024, 8, 3}};
  const double bytes = static_cast<double>(kib) * 1024;
  int failures = 0;
  for (const Settings& s : settings) {
    const Run ours = Ours(s, file, rate);
    const Run theirs = CKermit(s, file, rate);
    failures += PrintRow(s.name, ours, theirs, bytes, paced) ? 0 : 1;
  }
  std::printf("ratio = our throughput / C-Kermit's\n\n");

  std::printf("Kermit download of the same file from C-Kermit: our receiver against gkermit -r\n");
  std::printf("%-34s %10s %10s %10s %10s %7s\n", "settings", "ours s", "ours B/s", "gkermit s",
              "gkerm B/s", "ratio");
  const Settings downloads[] = {{"80, check 1", 80, 1, 1}, {"1024, check 3", 1024, 1, 3}};
  for (const Settings& s : downloads) {
    const Run ours = DownloadOurs(s, file, rate);
    const Run theirs = DownloadGkermit(s, file, rate);
    failures += PrintRow(s.name, ours, theirs, bytes, paced) ? 0 : 1;
  }
  std::printf("ratio = our throughput / G-Kermit's\n");
  return failures == 0 ? 0 : 1;
}
