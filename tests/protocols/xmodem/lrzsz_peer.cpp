#include "tests/protocols/xmodem/lrzsz_peer.hpp"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>

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
    return ::testing::AssertionFailure() << got.size() << " bytes that differ from the "
                                         << sent.size() << " sent";
  }
  if (got.find_first_not_of('\x1a', sent.size()) != std::string::npos ||
      (got.size() % 128 != 0) || got.size() - sent.size() >= 1024) {
    return ::testing::AssertionFailure() << "padding of " << got.size() - sent.size()
                                         << " bytes is not ^Z to a whole block";
  }
  return ::testing::AssertionSuccess();
}

std::int64_t MTime(const std::filesystem::path& file) {
  struct stat st {};
  if (::stat(file.c_str(), &st) != 0) return -1;
  return st.st_mtime;
}

}  // namespace qor::testing
