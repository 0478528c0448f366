#include "tests/reliability/transfer_programs.hpp"

#include <fstream>

#include "tests/protocols/kermit/kermit_peers.hpp"

namespace qor::testing {

namespace {

struct KermitSettings {
  int packet_length;
  int windows;
  int check;
};

std::vector<std::string> KermitOptions(const KermitSettings& k) {
  return {"--protocol",  "kermit", "--packet-length", std::to_string(k.packet_length),
          "--windows",   std::to_string(k.windows), "--check", std::to_string(k.check)};
}

std::function<std::vector<std::string>(const std::string&, const std::string&, const std::string&)>
CkermitSend(const KermitSettings& k) {
  return [k](const std::string& file, const std::string& dir, const std::string& line) {
    const std::string script = dir + "/send.ksc";
    std::ofstream(script) << "set line " << line << "\n"
                          << "set carrier-watch off\nset modem type none\nset flow none\n"
                          << "set file type binary\nset file names literal\n"
                          << "set protocol kermit {} {} {}\nset exit hangup off\n"
                          << "set send packet-length " << k.packet_length << "\n"
                          << "set receive packet-length " << k.packet_length << "\n"
                          << "set window " << k.windows << "\n"
                          << "set block-check " << k.check << "\n"
                          << "send " << file << "\nif fail exit 1\nexit 0\n";
    return std::vector<std::string>{"kermit", "+", script};
  };
}

std::function<std::vector<std::string>(const std::string&, const std::string&)> CkermitReceiver(
    const KermitSettings& k) {
  return [k](const std::string& dir, const std::string& line) {
    ReceiverOptions options;
    options.packet_length = k.packet_length;
    options.windows = k.windows;
    return CkermitReceive(options, dir, line);
  };
}

TransferProgram Kermit(std::string name, const KermitSettings& k) {
  return {std::move(name), KermitOptions(k), {}, CkermitReceiver(k), CkermitSend(k), true};
}

// lrzsz's programs on the line, with their exit flush kept from throwing away
// their last bytes (a pseudo-terminal pitfall, not a line fault).
std::vector<std::string> Lrzsz(std::vector<std::string> args) {
  std::vector<std::string> argv = {"env", std::string("LD_PRELOAD=") + PEER_EXIT_SHIM};
  argv.insert(argv.end(), args.begin(), args.end());
  return argv;
}

std::function<std::vector<std::string>(const std::string&, const std::string&)> LrzszReceive(
    std::vector<std::string> args) {
  return [args](const std::string&, const std::string&) { return Lrzsz(args); };
}

std::function<std::vector<std::string>(const std::string&, const std::string&, const std::string&)>
LrzszSend(std::vector<std::string> args) {
  return [args](const std::string& file, const std::string&, const std::string&) {
    std::vector<std::string> argv = args;
    argv.push_back(file);
    return Lrzsz(argv);
  };
}

}  // namespace

const std::vector<TransferProgram>& TransferPrograms() {
  static const std::vector<TransferProgram> programs = {
      Kermit("kermit", {1024, 4, 3}),
      {"xmodem1k", {"--protocol", "xmodem-1k"}, {"data.bin"},
       LrzszReceive({"rx", "-q", "-b", "-c", "data.bin"}), LrzszSend({"sx", "-q", "-b", "-k"})},
      {"ymodem", {"--protocol", "ymodem"}, {}, LrzszReceive({"rb", "-q", "-b"}),
       LrzszSend({"sb", "-q", "-b", "-k"})},
      {"zmodem", {"--protocol", "zmodem"}, {}, LrzszReceive({"rz", "-q", "-b"}),
       LrzszSend({"sz", "-q", "-b"})},
      {"ascii", {"--protocol", "ascii"}, {"--eof-timeout", "3", "data.bin"},
       [](const std::string&, const std::string&) {
         return std::vector<std::string>{"sh", "-c", "cat > data.bin"};
       },
       [](const std::string& file, const std::string&, const std::string&) {
         return std::vector<std::string>{"cat", file};
       }},
  };
  return programs;
}

const TransferProgram& WizardKermitProgram() {
  static const TransferProgram program = Kermit("kermit80", {80, 1, 1});
  return program;
}

}  // namespace qor::testing
