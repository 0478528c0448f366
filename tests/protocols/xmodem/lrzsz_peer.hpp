#pragma once
// One end of a line for the Xmodem/Ymodem tests: our protocol component on a
// relayed pseudo-terminal, with lrzsz (or another of ours) on the other end.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "tests/device/pty_pair.hpp"
#include "tests/protocols/kermit/pty_relay.hpp"
#include "tests/protocols/kermit/temp_dir.hpp"
#include "tests/protocols/kermit_receive/endpoint.hpp"

namespace qor::testing {

// The control characters as the tests write and expect them.
inline const std::string kAck(1, '\x06');
inline const std::string kNak(1, '\x15');
inline const std::string kEot(1, '\x04');
inline const std::string kCan(1, '\x18');
inline const std::string kCancelSequence = "\x18\x18\x18\x08\x08\x08";

// An endpoint with protocol type set, names kept as they are, and short waits
// (2 s for a handshake, 1 s for a block).
void UseProtocol(Endpoint& end, TProtocolType type);

// What read finds in the record while a transfer runs, read under the
// record's lock (the engine holds it for each event it handles).
template <class Read>
auto Locked(Endpoint& end, Read read) {
  TProtocolData& data = end.Protocol().Data();
  platform::Locker lock(data.Lock);
  return read(data);
}

// The files of a batch, named file0.bin, file1.bin ... in dir.
std::vector<std::string> WriteFiles(const std::filesystem::path& dir,
                                    const std::vector<std::string>& contents);

// Xmodem carries no length: what arrives is the file padded with ^Z to a
// whole block.
::testing::AssertionResult PaddedCopy(const std::string& sent, const std::string& got);

// Reads from the test's end of line until n bytes came or ms passed, handling
// this thread's messages meanwhile (the component answers the engine there).
std::string ReadPumping(PtyPair& line, std::size_t n, int ms = 5000);
// Reads until nothing more comes for quiet_ms.
std::string ReadUntilQuiet(PtyPair& line, int quiet_ms);

// A block as the wire carries it.
std::string Block(std::uint8_t start, std::uint8_t number, const std::string& data, bool crc);

// The modification time of a file, in seconds.
std::int64_t MTime(const std::filesystem::path& file);

}  // namespace qor::testing
