#include "tests/protocols/kermit/kermit_peers.hpp"

#include <fstream>

namespace qor::testing {

std::vector<std::string> GkermitReceive(const ReceiverOptions& options) {
  std::vector<std::string> argv = {"gkermit", "-q", "-i",  "-P", "-w", "-e",
                                   std::to_string(options.packet_length), "-S", "-b", "5"};
  if (options.seven_bit) argv.insert(argv.end(), {"-p", "s"});
  argv.push_back("-r");
  if (!options.as_name.empty()) argv.insert(argv.end(), {"-a", options.as_name});
  return argv;
}

std::vector<std::string> CkermitReceive(const ReceiverOptions& options, const std::string& dir,
                                        const std::string& line) {
  const std::string script = dir + "/receive.ksc";
  std::ofstream(script) << "set line " << line << "\n"
                        << "set carrier-watch off\n"
                        << "set modem type none\n"
                        << "set flow none\n"
                        << "set parity " << (options.seven_bit ? "space" : "none") << "\n"
                        << "set file type binary\n"
                        << "set file names literal\n"
                        << "set file collision overwrite\n"
                        << "set protocol kermit {} {} {}\n"
                        << "set exit hangup off\n"
                        << "set receive packet-length " << options.packet_length << "\n"
                        << "set window " << options.windows << "\n"
                        << "receive " << options.as_name << "\n"
                        << "if fail exit 1\n"
                        << "exit 0\n";
  return {"kermit", "+", script};
}

}  // namespace qor::testing
