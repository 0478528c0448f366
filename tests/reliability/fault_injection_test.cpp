// Transfers through a faulty simulated line at 115200 baud with 2 ms latency:
// our transfer tool at one end, the real peer program at the other, in both
// directions. Every run must end, and end either in success with a
// byte-identical file or in a reported error: a file reported as received
// but different is a defect, and so is a run that does not end. A line that
// hangs up mid-transfer must end in an error.
//
// QOR_FAULT_RUNS (seeds per case, default 1) and QOR_FAULT_KIB (file size,
// default 16) make the long form: see the README.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "tests/protocols/kermit/kermit_peers.hpp"
#include "tests/protocols/kermit/peer_process.hpp"
#include "tests/protocols/kermit/temp_dir.hpp"
#include "tools/linesim/line_simulator.hpp"

namespace qor::testing {
namespace {

namespace fs = std::filesystem;

constexpr int kTransferLimitMs = 240000;  // far beyond any run that makes progress
constexpr int kPeerExitMs = 20000;

int EnvInt(const char* name, int fallback) {
  const char* text = std::getenv(name);
  const int value = text != nullptr ? std::atoi(text) : 0;
  return value > 0 ? value : fallback;
}

// How one protocol is run: our tool's arguments and the peer's command lines.
// The peer has the line as standard input and output unless its command
// names the line itself (its script gets the line and its directory).
struct Protocol {
  const char* name;
  std::vector<std::string> our_options;
  std::vector<std::string> our_receive_options;  // e.g. the name a file without one gets
  std::function<std::vector<std::string>(const std::string& dir, const std::string& line)>
      peer_receive;
  std::function<std::vector<std::string>(const std::string& file, const std::string& dir,
                                         const std::string& line)>
      peer_send;
  bool peer_opens_line;  // the peer opens the line by name (else it is its stdio)
};

std::vector<std::string> CkermitSendScript(const std::string& file, const std::string& dir,
                                           const std::string& line) {
  const std::string script = dir + "/send.ksc";
  std::ofstream(script) << "set line " << line << "\n"
                        << "set carrier-watch off\nset modem type none\nset flow none\n"
                        << "set file type binary\nset file names literal\n"
                        << "set protocol kermit {} {} {}\nset exit hangup off\n"
                        << "set send packet-length 1024\nset receive packet-length 1024\n"
                        << "set window 4\nset block-check 3\n"
                        << "send " << file << "\nif fail exit 1\nexit 0\n";
  return {"kermit", "+", script};
}

// lrzsz's programs on the line, with their exit flush kept from throwing away
// their last bytes (a pseudo-terminal pitfall, not a line fault).
std::vector<std::string> Lrzsz(std::vector<std::string> args) {
  std::vector<std::string> argv = {"env", std::string("LD_PRELOAD=") + PEER_EXIT_SHIM};
  argv.insert(argv.end(), args.begin(), args.end());
  return argv;
}

std::function<std::vector<std::string>(const std::string&, const std::string&)> LrzszReceive(
    std::vector<std::string> args) {
  return [args](const std::string&, const std::string&) { return Lrzsz(args); };
}

std::function<std::vector<std::string>(const std::string&, const std::string&, const std::string&)>
LrzszSend(std::vector<std::string> args) {
  return [args](const std::string& file, const std::string&, const std::string&) {
    std::vector<std::string> argv = args;
    argv.push_back(file);
    return Lrzsz(argv);
  };
}

const Protocol kProtocols[] = {
    {"kermit",
     {"--protocol", "kermit", "--packet-length", "1024", "--windows", "4", "--check", "3"},
     {},
     [](const std::string& dir, const std::string& line) {
       ReceiverOptions options;
       options.packet_length = 1024;
       options.windows = 4;
       return CkermitReceive(options, dir, line);
     },
     &CkermitSendScript, true},
    {"xmodem1k", {"--protocol", "xmodem-1k"}, {"data.bin"},
     LrzszReceive({"rx", "-q", "-b", "-c", "data.bin"}), LrzszSend({"sx", "-q", "-b", "-k"}),
     false},
    {"ymodem", {"--protocol", "ymodem"}, {}, LrzszReceive({"rb", "-q", "-b"}),
     LrzszSend({"sb", "-q", "-b", "-k"}), false},
    {"zmodem", {"--protocol", "zmodem"}, {}, LrzszReceive({"rz", "-q", "-b"}),
     LrzszSend({"sz", "-q", "-b"}), false},
    {"ascii", {"--protocol", "ascii"}, {"--eof-timeout", "3", "data.bin"},
     [](const std::string&, const std::string&) {
       return std::vector<std::string>{"sh", "-c", "cat > data.bin"};
     },
     [](const std::string& file, const std::string&, const std::string&) {
       return std::vector<std::string>{"cat", file};
     },
     false},
};

struct Fault {
  const char* name;
  double flip;
  double drop;
  double vanish_ms;  // the line hangs up mid-transfer: only an error may come of it
};

const Fault kFaults[] = {{"flips", 1e-4, 0, 0}, {"drops", 0, 1e-4, 0}, {"vanish", 0, 0, 500}};

// Lines of text, for the protocol that carries nothing else.
std::string Text(std::size_t size) {
  std::string text;
  for (int line = 0; text.size() < size; ++line) {
    text += "line " + std::to_string(line) + " of the text that crosses the line\r\n";
  }
  text.resize(size);
  return text;
}

enum class Outcome { Identical, ReportedError, Corrupt, Hung };

struct Case {
  const Protocol* protocol;
  const Fault* fault;
  bool we_send;
};

std::string CaseName(const ::testing::TestParamInfo<Case>& info) {
  return std::string(info.param.protocol->name) + "_" + (info.param.we_send ? "send" : "receive") +
         "_" + info.param.fault->name;
}

void PrintTo(const Case& c, std::ostream* out) {
  *out << c.protocol->name << (c.we_send ? " send" : " receive") << " with " << c.fault->name;
}

class FaultInjection : public ::testing::TestWithParam<Case> {
 protected:
  Outcome RunOnce(std::uint32_t seed, const std::string& content) {
    const Case& c = GetParam();
    TempDir dir;
    const fs::path ours = dir.Path() / "ours";
    const fs::path theirs = dir.Path() / "theirs";
    fs::create_directories(ours);
    fs::create_directories(theirs);
    const std::string name = "data.bin";
    const fs::path source = (c.we_send ? ours : theirs) / name;
    std::ofstream(source, std::ios::binary) << content;

    tools::LineOptions line_options;
    line_options.baud = 115200;
    line_options.latency_ms = 2;
    line_options.flip_rate = c.fault->flip;
    line_options.drop_rate = c.fault->drop;
    line_options.vanish_after_ms = c.fault->vanish_ms;
    line_options.seed = seed;
    tools::LineSimulator line(line_options);

    const std::string peer_line = c.protocol->peer_opens_line ? "" : line.EndB();
    std::vector<std::string> peer_argv =
        c.we_send ? c.protocol->peer_receive(theirs.string(), line.EndB())
                  : c.protocol->peer_send(source.string(), theirs.string(), line.EndB());
    std::vector<std::string> our_argv = {QORXFER_PATH, c.we_send ? "send" : "receive", "--port",
                                         line.EndA()};
    our_argv.insert(our_argv.end(), c.protocol->our_options.begin(),
                    c.protocol->our_options.end());
    if (c.we_send) {
      our_argv.push_back(source.string());
    } else {
      our_argv.insert(our_argv.end(), {"--dir", ours.string()});
      our_argv.insert(our_argv.end(), c.protocol->our_receive_options.begin(),
                      c.protocol->our_receive_options.end());
    }
    // The receiver first, so that it listens when the sender starts.
    std::unique_ptr<PeerProcess> peer, tool;
    if (c.we_send) {
      peer = std::make_unique<PeerProcess>(peer_argv, theirs.string(), peer_line);
      tool = std::make_unique<PeerProcess>(our_argv, ours.string(), "");
    } else {
      tool = std::make_unique<PeerProcess>(our_argv, ours.string(), "");
      peer = std::make_unique<PeerProcess>(peer_argv, theirs.string(), peer_line);
    }
    const int status = tool->Wait(kTransferLimitMs);
    peer->Wait(kPeerExitMs);
    if (status < 0) return Outcome::Hung;
    if (status != 0) {
      const std::string said = TempDir::Read(ours / "peer.log");
      const auto at = said.rfind("error ");
      EXPECT_NE(at, std::string::npos) << "a failure without its message";
      if (at != std::string::npos) {
        std::printf("  seed %u: %s", seed, said.substr(at, said.find('\n', at) - at + 1).c_str());
      }
      return Outcome::ReportedError;
    }
    // A Kermit sender announces the name in capitals.
    fs::path received = (c.we_send ? theirs : ours) / name;
    if (!fs::exists(received)) received = received.parent_path() / "DATA.BIN";
    if (!fs::exists(received) || TempDir::Read(received) != content) return Outcome::Corrupt;
    return Outcome::Identical;
  }
};

TEST_P(FaultInjection, EndsIdenticalOrWithAnError) {
  const int runs = EnvInt("QOR_FAULT_RUNS", 1);
  const int kib = EnvInt("QOR_FAULT_KIB", 16);
  int identical = 0, reported = 0, corrupt = 0, hung = 0;
  for (int run = 0; run < runs; ++run) {
    const auto seed = static_cast<std::uint32_t>(run + 1);
    const std::size_t size = static_cast<std::size_t>(kib) * 1024;
    const bool text = std::string(GetParam().protocol->name) == "ascii";
    switch (RunOnce(seed, text ? Text(size) : RandomBytes(size, seed, false))) {
      case Outcome::Identical: ++identical; break;
      case Outcome::ReportedError: ++reported; break;
      case Outcome::Corrupt: ++corrupt; break;
      case Outcome::Hung: ++hung; break;
    }
  }
  std::printf("FAULTS %s: %d runs, %d completed, %d failed with an error, %d corrupt, %d hung\n",
              CaseName({GetParam(), 0}).c_str(), runs, identical, reported, corrupt, hung);
  EXPECT_EQ(corrupt, 0);
  EXPECT_EQ(hung, 0);
  if (GetParam().fault->vanish_ms > 0) {
    EXPECT_EQ(reported, runs);
  } else {
    // Faults at this rate are to be survived, not just reported.
    EXPECT_GT(identical, 0);
  }
}

std::vector<Case> AllCases() {
  std::vector<Case> cases;
  for (const Protocol& p : kProtocols) {
    for (const Fault& f : kFaults) {
      // Plain text has no checks and no answers: it can only be asked to
      // notice, when receiving, that the line went away.
      if (std::string(p.name) == "ascii") {
        if (f.vanish_ms > 0) cases.push_back({&p, &f, false});
        continue;
      }
      cases.push_back({&p, &f, true});
      cases.push_back({&p, &f, false});
    }
  }
  return cases;
}

INSTANTIATE_TEST_SUITE_P(Lines, FaultInjection, ::testing::ValuesIn(AllCases()), CaseName);

}  // namespace
}  // namespace qor::testing
