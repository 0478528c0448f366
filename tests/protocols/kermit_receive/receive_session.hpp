#pragma once
// A receiver under test with the test as its sender: a protocol component
// receiving into a fresh directory over a pseudo-terminal whose other end the
// test writes packets to.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "tests/device/pty_pair.hpp"
#include "tests/protocols/kermit/temp_dir.hpp"
#include "tests/protocols/kermit_receive/endpoint.hpp"
#include "tests/protocols/kermit_receive/scripted_sender.hpp"
#include "tests/protocols/kermit_receive/sender_frames.hpp"

namespace qor::testing {

struct ReceiveSession {
  ReceiveSession();

  // Starts receiving and answers the Send-Init; our answer.
  WirePacket Begin(const SenderParams& params = {});
  // Begin, then the file header; the answer to the header.
  WirePacket BeginFile(const std::string& name, const SenderParams& params = {});
  // What the sender's data packet seq carries: a few letters of its own.
  static std::string Chunk(int seq);

  TempDir dir;
  std::filesystem::path dest;  // the destination directory, inside dir
  PtyPair line;
  Endpoint receiver;
  ScriptedSender sender;
  int check = 1;  // of the packets the sender sends after the Send-Init
};

// The answers match the expected "Y3 N4" tokens; "E*" stands for an error
// packet of any sequence number.
::testing::AssertionResult AnswersMatch(const std::string& expected,
                                        const std::vector<WirePacket>& got);

}  // namespace qor::testing
