#include "tests/protocols/zmodem/zmodem_endpoint.hpp"

#include <random>

namespace qor::testing {

namespace {

constexpr std::uint32_t kTestHandshakeWait = 36;  // two seconds
constexpr std::uint32_t kTestTransmitTimeout = 91;
constexpr std::uint16_t kOutSize = 40000;

}  // namespace

void MakeZmodem(Endpoint& e) {
  // The output ring's size is taken when the port opens.
  e.Port().SetOpen(false);
  e.Port().SetOutSize(kOutSize);
  e.Port().SetOpen(true);
  e.Protocol().SetProtocolType(ptZmodem);
  e.Protocol().SetHandshakeWait(kTestHandshakeWait);
  e.Protocol().SetTransmitTimeout(kTestTransmitTimeout);
  e.Protocol().SetFinishWait(kTestHandshakeWait);
  e.Protocol().SetUpcaseFileNames(false);
}

namespace {

// lrzsz's exit keeps its last bytes on the line until the relay has them.
std::vector<std::string> Lrzsz(const char* program) {
  return {"env", std::string("LD_PRELOAD=") + PEER_EXIT_SHIM, program, "-q", "-b"};
}

}  // namespace

std::vector<std::string> SzCommand(const std::vector<std::string>& files,
                                   const std::vector<std::string>& options) {
  std::vector<std::string> argv = Lrzsz("sz");
  argv.insert(argv.end(), options.begin(), options.end());
  argv.insert(argv.end(), files.begin(), files.end());
  return argv;
}

std::vector<std::string> RzCommand(const std::vector<std::string>& options) {
  std::vector<std::string> argv = Lrzsz("rz");
  argv.insert(argv.end(), options.begin(), options.end());
  return argv;
}

std::string NastyBytes(std::size_t n, std::uint32_t seed) {
  static const char kSpecial[] = {0x18, 0x11, 0x13, 0x0D, 0x40, 0x0D, 0x10, 0x7F,
                                  static_cast<char>(0x91), static_cast<char>(0x93),
                                  static_cast<char>(0xC0), static_cast<char>(0x8D),
                                  static_cast<char>(0xFF), static_cast<char>(0x98),
                                  '*', 0x00};
  std::mt19937 gen(seed);
  std::string s(n, '\0');
  for (char& c : s) {
    const std::uint32_t r = gen();
    c = (r & 3) == 0 ? kSpecial[(r >> 8) % sizeof kSpecial] : static_cast<char>(r >> 16);
  }
  return s;
}

}  // namespace qor::testing
