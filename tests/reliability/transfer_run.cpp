#include "tests/reliability/transfer_run.hpp"

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>
#include <thread>
#include <vector>

#include "tests/protocols/kermit/peer_process.hpp"
#include "tests/protocols/kermit/temp_dir.hpp"

namespace qor::testing {

namespace fs = std::filesystem;

namespace {

constexpr int kPeerExitMs = 20000;  // for the other program once one has ended
const char kFileName[] = "data.bin";

// The program for one end, with its directory and the line it gets as stdio
// (empty when it opens the line itself).
struct Program {
  std::vector<std::string> argv;
  std::string line;
};

Program OursAt(const TransferProgram& p, bool send, const fs::path& dir, const std::string& line) {
  std::vector<std::string> argv = {QORXFER_PATH, send ? "send" : "receive", "--port", line,
                                   "--quiet"};
  argv.insert(argv.end(), p.our_options.begin(), p.our_options.end());
  if (send) {
    argv.push_back((dir / kFileName).string());
  } else {
    argv.insert(argv.end(), {"--dir", dir.string()});
    argv.insert(argv.end(), p.our_receive_options.begin(), p.our_receive_options.end());
  }
  return {argv, ""};
}

Program PeerAt(const TransferProgram& p, bool send, const fs::path& dir, const std::string& line) {
  std::vector<std::string> argv = send ? p.peer_send((dir / kFileName).string(), dir.string(), line)
                                       : p.peer_receive(dir.string(), line);
  return {argv, p.peer_opens_line ? "" : line};
}

std::string LastErrorLine(const fs::path& log) {
  const std::string said = TempDir::Read(log);
  const auto at = said.rfind("error ");
  return at == std::string::npos ? "" : said.substr(at, said.find('\n', at) - at);
}

}  // namespace

TransferResult RunTransfer(const TransferSetup& setup) {
  const TransferProgram& p = *setup.program;
  TempDir dir;
  const fs::path send_dir = dir.Subdir("send");
  const fs::path receive_dir = dir.Subdir("receive");
  std::ofstream(send_dir / kFileName, std::ios::binary) << setup.content;

  tools::LineSimulator line(setup.line);
  const Program sender = setup.sender == End::Ours ? OursAt(p, true, send_dir, line.EndA())
                                                   : PeerAt(p, true, send_dir, line.EndA());
  const Program receiver = setup.receiver == End::Ours
                               ? OursAt(p, false, receive_dir, line.EndB())
                               : PeerAt(p, false, receive_dir, line.EndB());

  // The receiver first, so that it listens when the sender starts.
  PeerProcess receiving(receiver.argv, receive_dir.string(), receiver.line);
  std::this_thread::sleep_for(std::chrono::milliseconds(setup.receiver_head_start_ms));
  const auto start = std::chrono::steady_clock::now();
  PeerProcess sending(sender.argv, send_dir.string(), sender.line);

  TransferResult r;
  // The transfer is over when the receiver has ended (the sender's exit may
  // linger on); whichever ends first, the other gets a bounded while more.
  const auto limit = start + std::chrono::milliseconds(setup.limit_ms);
  auto received_at = limit;
  auto grace_end = limit;
  for (;;) {
    const auto now = std::chrono::steady_clock::now();
    const bool sender_done = sending.Ended();
    const bool receiver_done = receiving.Ended();
    if (receiver_done && received_at == limit) received_at = now;
    if (sender_done && receiver_done) break;
    if ((sender_done || receiver_done) && grace_end == limit) {
      grace_end = std::min(limit, now + std::chrono::milliseconds(kPeerExitMs));
    }
    if (now >= grace_end) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  r.sender_status = sending.Wait(0);
  r.receiver_status = receiving.Wait(0);
  r.seconds = std::chrono::duration<double>(
                  std::min(received_at, std::chrono::steady_clock::now()) - start)
                  .count();
  line.Stop();
  r.wire_bytes = line.AtoB().bytes;
  r.sender_hung = !sending.Ended();
  r.receiver_hung = !receiving.Ended();
  r.sender_cpu = sending.CpuSeconds();
  r.receiver_cpu = receiving.CpuSeconds();
  if (setup.sender == End::Ours || setup.receiver == End::Ours) {
    r.our_error = LastErrorLine((setup.sender == End::Ours ? send_dir : receive_dir) / "peer.log");
  }

  // A Kermit sender of ours announces the name in capitals.
  fs::path received = receive_dir / kFileName;
  if (!fs::exists(received)) received = receive_dir / "DATA.BIN";
  r.identical = fs::exists(received) && TempDir::Read(received) == setup.content;
  return r;
}

}  // namespace qor::testing
