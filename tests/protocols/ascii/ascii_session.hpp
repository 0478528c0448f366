#pragma once
// An ASCII transfer under test over a pseudo-terminal whose other end the
// test (or a program) plays, with its files in a fresh directory.
#include <chrono>
#include <string>

#include "tests/device/pty_pair.hpp"
#include "tests/protocols/kermit/temp_dir.hpp"
#include "tests/protocols/kermit_receive/endpoint.hpp"

namespace qor::testing {

struct AsciiSession {
  explicit AsciiSession(const std::string& line_path) : end(line_path, kComNumber) {
    end.Protocol().SetProtocolType(ptAscii);
  }

  // Sends the file holding bytes; true when the transfer finished in ms.
  bool Send(const std::string& bytes, int ms = 5000) {
    end.Protocol().SetFileMask(dir.Write("out.txt", bytes));
    end.Protocol().StartTransmit();
    return end.WaitFinished(ms);
  }
  // Starts receiving into in.txt.
  void StartReceive() {
    end.Protocol().SetFileName(Received().string());
    end.Protocol().StartReceive();
  }
  std::filesystem::path Received() const { return dir.Path() / "in.txt"; }

  static constexpr int kComNumber = 62;
  TempDir dir;
  Endpoint end;
};

// Milliseconds since start.
inline long long MsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() -
                                                               start)
      .count();
}

}  // namespace qor::testing
