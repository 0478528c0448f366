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
#include <ostream>
#include <string>
#include <vector>

#include "tests/protocols/kermit/temp_dir.hpp"
#include "tests/reliability/transfer_run.hpp"

namespace qor::testing {
namespace {

constexpr int kTransferLimitMs = 240000;  // far beyond any run that makes progress

int EnvInt(const char* name, int fallback) {
  const char* text = std::getenv(name);
  const int value = text != nullptr ? std::atoi(text) : 0;
  return value > 0 ? value : fallback;
}

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
  const TransferProgram* protocol;
  const Fault* fault;
  bool we_send;
};

std::string CaseName(const ::testing::TestParamInfo<Case>& info) {
  return info.param.protocol->name + "_" + (info.param.we_send ? "send" : "receive") +
         "_" + info.param.fault->name;
}

void PrintTo(const Case& c, std::ostream* out) {
  *out << c.protocol->name << (c.we_send ? " send" : " receive") << " with " << c.fault->name;
}

class FaultInjection : public ::testing::TestWithParam<Case> {
 protected:
  Outcome RunOnce(std::uint32_t seed, const std::string& content) {
    const Case& c = GetParam();
    TransferSetup setup;
    setup.program = c.protocol;
    setup.sender = c.we_send ? End::Ours : End::Peer;
    setup.receiver = c.we_send ? End::Peer : End::Ours;
    setup.line.baud = 115200;
    setup.line.latency_ms = 2;
    setup.line.flip_rate = c.fault->flip;
    setup.line.drop_rate = c.fault->drop;
    setup.line.vanish_after_ms = c.fault->vanish_ms;
    setup.line.seed = seed;
    setup.content = content;
    setup.limit_ms = kTransferLimitMs;
    const TransferResult r = RunTransfer(setup);
    if (c.we_send ? r.sender_hung : r.receiver_hung) return Outcome::Hung;
    const int ours = c.we_send ? r.sender_status : r.receiver_status;
    if (ours != 0) {
      EXPECT_FALSE(r.our_error.empty()) << "a failure without its message";
      std::printf("  seed %u: %s\n", seed, r.our_error.c_str());
      return Outcome::ReportedError;
    }
    return r.identical ? Outcome::Identical : Outcome::Corrupt;
  }
};

TEST_P(FaultInjection, EndsIdenticalOrWithAnError) {
  const int runs = EnvInt("QOR_FAULT_RUNS", 1);
  const int kib = EnvInt("QOR_FAULT_KIB", 16);
  int identical = 0, reported = 0, corrupt = 0, hung = 0;
  for (int run = 0; run < runs; ++run) {
    const auto seed = static_cast<std::uint32_t>(run + 1);
    const std::size_t size = static_cast<std::size_t>(kib) * 1024;
    const bool text = GetParam().protocol->name == "ascii";
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
  for (const TransferProgram& p : TransferPrograms()) {
    for (const Fault& f : kFaults) {
      // Plain text has no checks and no answers: it can only be asked to
      // notice, when receiving, that the line went away.
      if (p.name == "ascii") {
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
