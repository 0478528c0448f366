// The simulated line between two pseudo-terminals: what passes, when, and
// what its faults do to it.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <bitset>
#include <chrono>
#include <string>

#include "tools/linesim/line_simulator.hpp"

namespace qor::tools {
namespace {

using Clock = std::chrono::steady_clock;

// One program's end of the line, raw.
class Port {
 public:
  explicit Port(const std::string& path) : fd_(::open(path.c_str(), O_RDWR | O_NOCTTY)) {
    termios t{};
    ::tcgetattr(fd_, &t);
    ::cfmakeraw(&t);
    ::tcsetattr(fd_, TCSANOW, &t);
  }
  ~Port() { ::close(fd_); }
  void Write(const std::string& bytes) {
    for (std::size_t done = 0; done < bytes.size();) {
      const ssize_t n = ::write(fd_, bytes.data() + done, bytes.size() - done);
      ASSERT_GT(n, 0);
      done += static_cast<std::size_t>(n);
    }
  }
  // Reads until want bytes came, the line was quiet for quiet_ms, or it hung up.
  std::string Read(std::size_t want, int quiet_ms = 500) {
    std::string got;
    while (got.size() < want) {
      pollfd p{fd_, POLLIN, 0};
      if (::poll(&p, 1, quiet_ms) <= 0) break;
      char buffer[4096];
      const ssize_t n = ::read(fd_, buffer, sizeof buffer);
      if (n <= 0) {
        hung_up_ = true;
        break;
      }
      got.append(buffer, static_cast<std::size_t>(n));
    }
    return got;
  }
  bool HungUp() const { return hung_up_; }

 private:
  int fd_;
  bool hung_up_ = false;
};

std::string Pattern(std::size_t n) {
  std::string s;
  for (std::size_t i = 0; i < n; ++i) s.push_back(static_cast<char>(i * 7 + 3));
  return s;
}

TEST(LineSimulator, PassesBothWaysUntouchedWithoutFaults) {
  LineSimulator line;
  Port a(line.EndA()), b(line.EndB());
  const std::string data = Pattern(20000);
  a.Write(data);
  EXPECT_EQ(b.Read(data.size()), data);
  b.Write("answer");
  EXPECT_EQ(a.Read(6), "answer");
  line.Stop();
  EXPECT_EQ(line.AtoB().bytes, 20000);
  EXPECT_EQ(line.BtoA().bytes, 6);
}

TEST(LineSimulator, PacedLineTakesTenBitsPerByteAndTheLatencyOnTop) {
  LineOptions o;
  o.baud = 115200;
  o.latency_ms = 50;
  LineSimulator line(o);
  Port a(line.EndA()), b(line.EndB());
  const std::string data = Pattern(2304);  // 0.2 s on the line
  const auto start = Clock::now();
  a.Write(data);
  EXPECT_EQ(b.Read(data.size(), 2000), data);
  // Never sooner than the line allows (an upper bound would only measure the machine).
  EXPECT_GE(Clock::now() - start, std::chrono::milliseconds(240));
}

TEST(LineSimulator, FaultsActAsAskedAndASeedRepeatsThem) {
  struct Case {
    const char* name;
    double flip, drop, garbage;
  };
  const Case cases[] = {{"every byte flipped", 1, 0, 0},
                        {"every byte dropped", 0, 1, 0},
                        {"garbage after every byte", 0, 0, 1}};
  const std::string data = Pattern(300);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::string runs[2];
    for (std::string& got : runs) {
      LineOptions o;
      o.flip_rate = c.flip;
      o.drop_rate = c.drop;
      o.garbage_rate = c.garbage;
      o.garbage_length = 2;
      o.seed = 42;
      LineSimulator line(o);
      Port a(line.EndA()), b(line.EndB());
      a.Write(data);
      got = b.Read(data.size() * 3, 300);
      line.Stop();
      EXPECT_EQ(line.AtoB().flipped, c.flip > 0 ? 300 : 0);
      EXPECT_EQ(line.AtoB().dropped, c.drop > 0 ? 300 : 0);
      EXPECT_EQ(line.AtoB().garbage, c.garbage > 0 ? 600 : 0);
    }
    EXPECT_EQ(runs[0], runs[1]);
    if (c.flip > 0) {
      ASSERT_EQ(runs[0].size(), data.size());
      for (std::size_t i = 0; i < data.size(); ++i) {
        EXPECT_EQ(std::bitset<8>(static_cast<unsigned char>(runs[0][i] ^ data[i])).count(), 1u);
      }
    }
    if (c.drop > 0) {
      EXPECT_TRUE(runs[0].empty());
    }
    if (c.garbage > 0) {
      ASSERT_EQ(runs[0].size(), 900u);
      for (std::size_t i = 0; i < data.size(); ++i) EXPECT_EQ(runs[0][i * 3], data[i]);
    }
  }
}

TEST(LineSimulator, SilentLineLetsNothingPassAndAVanishedOneHangsUp) {
  LineOptions o;
  o.silent_after_ms = 1;
  o.vanish_after_ms = 400;
  LineSimulator line(o);
  Port a(line.EndA()), b(line.EndB());
  ::usleep(20000);
  a.Write("lost");
  EXPECT_EQ(b.Read(4, 200), "");
  b.Read(1, 2000);
  EXPECT_TRUE(b.HungUp());
  EXPECT_TRUE(line.Gone());
}

}  // namespace
}  // namespace qor::tools
