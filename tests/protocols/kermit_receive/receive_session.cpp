#include "tests/protocols/kermit_receive/receive_session.hpp"

#include <gtest/gtest.h>

#include <sstream>

namespace qor::testing {

namespace {

constexpr int kPortNumber = 241;

std::vector<std::string> Tokens(const std::string& text) {
  std::istringstream in(text);
  std::vector<std::string> tokens;
  for (std::string t; in >> t;) tokens.push_back(t);
  return tokens;
}

}  // namespace

ReceiveSession::ReceiveSession()
    : dest(dir.Path() / "in"), receiver(line.Path(), kPortNumber), sender(line.Peer()) {
  std::filesystem::create_directories(dest);
  receiver.Protocol().SetDestinationDirectory(dest.string());
}

WirePacket ReceiveSession::Begin(const SenderParams& params) {
  receiver.Protocol().StartReceive();
  check = params.check - '0';
  return sender.Exchange(Frame('S', 0, SendInitField(params)));
}

WirePacket ReceiveSession::BeginFile(const std::string& name, const SenderParams& params) {
  const WirePacket init = Begin(params);
  EXPECT_EQ(Brief(init), "Y0");
  return sender.Exchange(Frame('F', 1, name, check));
}

std::string ReceiveSession::Chunk(int seq) {
  return std::string(12, static_cast<char>('a' + seq % 26)) + std::to_string(seq);
}

::testing::AssertionResult AnswersMatch(const std::string& expected,
                                        const std::vector<WirePacket>& got) {
  const std::vector<std::string> want = Tokens(expected);
  bool same = want.size() == got.size();
  for (std::size_t i = 0; same && i < want.size(); ++i) {
    same = want[i] == "E*" ? got[i].type == 'E' : want[i] == Brief(got[i]);
  }
  if (same) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << "expected \"" << expected << "\", got \"" << Brief(got)
                                       << '"';
}

}  // namespace qor::testing
