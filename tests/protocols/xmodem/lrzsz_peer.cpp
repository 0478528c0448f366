#include "tests/protocols/xmodem/lrzsz_peer.hpp"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>

#include "protocols/xymodem/xmodem_block.hpp"

namespace qor::testing {

void UseProtocol(Endpoint& end, TProtocolType type) {
  TQorProtocol& p = end.Protocol();
  p.SetProtocolType(type);
  p.SetUpcaseFileNames(false);
  p.SetXYmodemBlockWait(18);
}

std::vector<std::string> WriteFiles(const std::filesystem::path& dir,
                                    const std::vector<std::string>& contents) {
  std::vector<std::string> names;
  for (std::size_t i = 0; i < contents.size(); ++i) {
    names.push_back((dir / ("file" + std::to_string(i) + ".bin")).string());
    std::ofstream(names.back(), std::ios::binary) << contents[i];
  }
  return names;
}

::testing::AssertionResult PaddedCopy(const std::string& sent, const std::string& got) {
  if (got.size() < sent.size() || got.compare(0, sent.size(), sent) != 0) {
    return ::testing::AssertionFailure()
           << got.size() << " bytes that differ from the " << sent.size() << " sent";
  }
  if (got.find_first_not_of('\x1a', sent.size()) != std::string::npos || (got.size() % 128 != 0) ||
      got.size() - sent.size() >= 1024) {
    return ::testing::AssertionFailure()
           << "padding of " << got.size() - sent.size() << " bytes is not ^Z to a whole block";
  }
  return ::testing::AssertionSuccess();
}

std::string ReadPumping(PtyPair& line, std::size_t n, int ms) {
  std::string got;
  PumpUntil(
      [&] {
        got += line.Read(n - got.size(), 1);
        return got.size() >= n;
      },
      ms);
  return got;
}

std::string ReadUntilQuiet(PtyPair& line, int quiet_ms) {
  std::string got;
  for (;;) {
    const std::string more = ReadPumping(line, 1 << 16, quiet_ms);
    if (more.empty()) return got;
    got += more;
  }
}

std::string Block(std::uint8_t start, std::uint8_t number, const std::string& data, bool crc) {
  std::vector<std::uint8_t> wire;
  BuildBlock(start, number, reinterpret_cast<const std::uint8_t*>(data.data()),
             static_cast<std::int32_t>(data.size()), crc, wire);
  return {wire.begin(), wire.end()};
}

std::int64_t MTime(const std::filesystem::path& file) {
  struct stat st {};
  if (::stat(file.c_str(), &st) != 0) return -1;
  return st.st_mtime;
}

}  // namespace qor::testing
