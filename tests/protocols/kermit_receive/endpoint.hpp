#pragma once
// One end of a line as an application has it: a com port and a protocol
// component on COM<number>, mapped to a pseudo-terminal, and the events the
// component raised. The component's window belongs to the creating thread,
// which must pump its messages (PumpUntil) while a transfer runs.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "comm/comport/com_port.hpp"
#include "protocols/component/protocol_component.hpp"
#include "tests/support/pump_until.hpp"

namespace qor::testing {

class Endpoint {
 public:
  // A Kermit component on an open port, with a short handshake wait.
  Endpoint(const std::string& line, int number);
  // Cancels a transfer still running and waits for its end.
  ~Endpoint();
  Endpoint(const Endpoint&) = delete;
  Endpoint& operator=(const Endpoint&) = delete;

  TQorProtocol& Protocol() { return protocol_; }
  TQorComPort& Port() { return port_; }

  // Pumps until the finish event or ms passed.
  bool WaitFinished(int ms);
  // Pumps until what the port holds to send is on the line.
  bool WaitOutputSent(int ms);

  // Decides on an offered file; accepts unchanged when unset.
  std::function<void(bool& accept, std::string& name)> on_accept;

  bool finished = false;
  std::int32_t finish_code = 1;
  std::vector<std::int32_t> errors;
  std::vector<std::uint16_t> logs;
  std::vector<std::string> offered;  // the names the accept event saw
  int first_reports = 0;
  int last_reports = 0;

 private:
  std::string env_name_;
  TQorComPort port_;
  TQorProtocol protocol_;
};

}  // namespace qor::testing
