#include "tests/protocols/kermit_receive/endpoint.hpp"

#include <chrono>
#include <cstdlib>

#include "comm/platform/message_queue.hpp"

namespace qor::testing {

namespace {

// Two seconds instead of ten: a lost packet is asked for again soon.
constexpr std::uint32_t kTestHandshakeWait = 36;

}  // namespace

Endpoint::Endpoint(const std::string& line, int number)
    : env_name_("COM" + std::to_string(number)) {
  ::setenv(env_name_.c_str(), line.c_str(), 1);
  port_.SetComNumber(static_cast<std::uint16_t>(number));
  port_.SetBaud(115200);
  port_.SetOpen(true);
  protocol_.SetComPort(&port_);
  protocol_.SetProtocolType(ptKermit);
  protocol_.SetHandshakeWait(kTestHandshakeWait);
  protocol_.OnProtocolAccept = [this](TQorCustomProtocol&, bool& accept, std::string& name) {
    offered.push_back(name);
    if (on_accept) on_accept(accept, name);
  };
  protocol_.OnProtocolFinish = [this](TQorCustomProtocol&, std::int32_t code) {
    finished = true;
    finish_code = code;
  };
  protocol_.OnProtocolError = [this](TQorCustomProtocol&, std::int32_t code) {
    errors.push_back(code);
  };
  protocol_.OnProtocolLog = [this](TQorCustomProtocol&, std::uint16_t code) {
    logs.push_back(code);
  };
  protocol_.OnProtocolStatus = [this](TQorCustomProtocol&, std::uint16_t options) {
    first_reports += options == kStatusFirst ? 1 : 0;
    last_reports += options == kStatusLast ? 1 : 0;
  };
}

Endpoint::~Endpoint() {
  if (protocol_.InProgress()) {
    protocol_.CancelTransfer();
    WaitFinished(3000);
  }
  port_.SetOpen(false);
  ::unsetenv(env_name_.c_str());
}

bool Endpoint::WaitFinished(int ms) {
  return PumpUntil([this] { return finished; }, ms);
}

bool Endpoint::WaitOutputSent(int ms) {
  return PumpUntil([this] { return port_.OutputUsed() == 0; }, ms);
}

}  // namespace qor::testing
