#pragma once
// What one run of qorxfer is asked to do.
#include <cstdint>
#include <string>
#include <vector>

#include "protocols/ascii/ascii_data.hpp"
#include "protocols/core/protocol_data.hpp"

namespace qor::xfer {

enum class Direction { Send, Receive };

struct TransferOptions {
  Direction direction = Direction::Send;
  std::string port;  // COMn, a number, or a device path
  std::string protocol_name = "kermit";
  TProtocolType protocol = ptKermit;
  std::int32_t baud = 115200;
  std::vector<std::string> files;  // send
  std::string dir;                 // receive
  std::string receive_name;        // receive: Xmodem's or ASCII's file, which the line does not name

  // Kermit
  std::uint32_t packet_length = 80;  // above 94: long packets
  std::uint32_t windows = 0;         // 0 or 1: stop and wait
  int check = 1;                     // block check type 1, 2 or 3
  std::uint32_t packet_timeout = 5;  // seconds the other side waits for our packets

  // Zmodem
  bool zmodem_8k = false;          // 8192-byte blocks
  bool escape_control = false;     // every control character escaped, both ways
  bool recover = false;            // continue a partly received file
  bool skip_no_file = false;       // only files that exist on the receiving side
  bool file_option_given = false;  // receive: our option overrides the sender's
  std::int32_t file_option = 5;    // TZmodemFileOptions; zfoWriteNewer
  // ASCII
  std::uint32_t ascii_char_delay = 0;  // ms
  std::uint32_t ascii_line_delay = 0;  // ms
  int ascii_eol_char = 13;
  TAsciiEOLTranslation ascii_cr = aetNone;
  TAsciiEOLTranslation ascii_lf = aetNone;
  bool ascii_suppress_ctrl_z = false;
  double ascii_eof_timeout = 20;  // seconds

  // Every protocol
  double handshake_wait = 10;  // seconds we wait for the other side
  std::uint32_t retries = 10;
  TWriteFailAction on_exists = wfWriteRename;
  bool honor_directory = false;    // receive: keep the directories a sender names
  bool include_directory = false;  // send: announce names with their directories
  bool upcase_names = false;       // send: announce names in capitals

  std::string trace_file;
  std::string log_file;
  std::string history_file;  // a line or two per file event
  bool quiet = false;  // no progress, no per-file lines
};

}  // namespace qor::xfer
