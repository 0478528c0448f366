// qorxfer: sends or receives files over a serial port with one of the
// library's file transfer protocols.
//   qorxfer send --port PORT --protocol P [options] FILE...
//   qorxfer receive --port PORT --protocol P --dir DIR [options]
// Exit status 0 only when every file went through; otherwise "error CODE:
// message" on standard error.
#include <CLI/CLI.hpp>

#include "tools/qorxfer/ascii_options.hpp"
#include "tools/qorxfer/protocol_names.hpp"
#include "tools/qorxfer/transfer.hpp"

namespace {

using qor::xfer::TransferOptions;

void AddCommonOptions(CLI::App& command, TransferOptions& o) {
  command.add_option("--port", o.port, "COMn of the port table, or a device path")->required();
  command.add_option("--protocol", o.protocol_name, "Transfer protocol")
      ->required()
      ->check(CLI::IsMember(qor::xfer::ProtocolsByName()));
  command.add_option("--baud", o.baud, "Line speed")->capture_default_str();
  command.add_option("--packet-length", o.packet_length,
                     "Kermit: longest packet; above 94 long packets (up to 1024)")
      ->check(CLI::Range(10, 1024))
      ->capture_default_str();
  command.add_option("--windows", o.windows, "Kermit: sliding window slots (0 or 1: none)")
      ->check(CLI::Range(0, 27))
      ->capture_default_str();
  command.add_option("--check", o.check, "Kermit: block check type")
      ->check(CLI::IsMember({1, 2, 3}))
      ->capture_default_str();
  command.add_option("--packet-timeout", o.packet_timeout,
                     "Kermit: seconds the other side waits for a packet of ours")
      ->check(CLI::Range(1, 94))
      ->capture_default_str();
  command.add_flag("--zmodem-8k", o.zmodem_8k, "Zmodem: blocks of 8192 bytes (both sides)");
  command.add_flag("--escape-control", o.escape_control,
                   "Zmodem: escape every control character, and ask the other side to");
  command.add_flag("--recover", o.recover,
                   "Zmodem: continue a file that was partly received before (the file "
                   "CRC decides whether the bytes there are the start of it)");
  command.add_flag("--skip-no-file", o.skip_no_file,
                   "Zmodem: transfer only files that exist on the receiving side");
  command
      .add_option("--file-option", o.file_option,
                   "Zmodem: what to do with a file that exists on the receiving side "
                   "(on receive it replaces the sender's choice)")
      ->transform(CLI::CheckedTransformer(
          std::map<std::string, std::int32_t>{{"newer-longer", 1}, {"crc", 2}, {"append", 3},
                                              {"clobber", 4},      {"newer", 5}, {"different", 6},
                                              {"protect", 7}},
          CLI::ignore_case))
      ->default_str("newer")
      ->each([&o](const std::string&) { o.file_option_given = true; });
  command.add_option("--handshake-wait", o.handshake_wait,
                     "Seconds to wait for the other side before asking again")
      ->check(CLI::Range(0.1, 3600.0))
      ->capture_default_str();
  command.add_option("--retries", o.retries, "Errors in a row before giving up")
      ->capture_default_str();
  command.add_option("--trace", o.trace_file, "Write a trace of every byte to this file");
  command.add_option("--log", o.log_file, "Write the dispatch log to this file");
  command.add_option("--history", o.history_file, "Append a line per file event to this file");
  command.add_flag("--quiet", o.quiet, "No progress and no per-file lines");
  qor::xfer::AddAsciiOptions(command, o);
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{"qorxfer - file transfer over a serial port"};
  app.require_subcommand(1);
  TransferOptions o;

  CLI::App* send = app.add_subcommand("send", "Send files");
  AddCommonOptions(*send, o);
  send->add_option("files", o.files, "Files to send")->required();
  send->add_flag("--include-directory", o.include_directory,
                 "Announce each file with its directory");
  send->add_flag("--upcase-names", o.upcase_names, "Announce names in capitals");

  CLI::App* receive = app.add_subcommand("receive", "Receive files");
  AddCommonOptions(*receive, o);
  receive->add_option("--dir", o.dir, "Directory for the received files")
      ->required()
      ->check(CLI::ExistingDirectory);
  receive->add_option("name", o.receive_name,
                      "Xmodem and ASCII: the name to store the file under (the line carries none)");
  receive->add_flag("--honor-directory", o.honor_directory,
                    "Keep the directories the sender names (inside --dir)");
  receive->add_option("--on-exists", o.on_exists, "When a received file exists already")
      ->transform(CLI::CheckedTransformer(
          std::map<std::string, qor::TWriteFailAction>{{"rename", qor::wfWriteRename},
                                                       {"fail", qor::wfWriteFail},
                                                       {"overwrite", qor::wfWriteAnyway}},
          CLI::ignore_case))
      ->default_str("rename");

  CLI11_PARSE(app, argc, argv);
  o.direction = receive->parsed() ? qor::xfer::Direction::Receive : qor::xfer::Direction::Send;
  o.protocol = qor::xfer::ProtocolsByName().at(o.protocol_name);
  return qor::xfer::RunTransfer(o);
}
