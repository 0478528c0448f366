#include "tools/qorxfer/ascii_options.hpp"

#include <cmath>
#include <map>

#include "comm/ticks.hpp"

namespace qor::xfer {

void AddAsciiOptions(CLI::App& command, TransferOptions& o) {
  // none, strip, or the one that adds a character to this line end.
  const auto translations = [](const std::string& adding, TAsciiEOLTranslation adds) {
    return CLI::CheckedTransformer(
        std::map<std::string, TAsciiEOLTranslation>{{"none", aetNone}, {"strip", aetStrip}, {adding, adds}},
        CLI::ignore_case);
  };
  command.add_option("--char-delay", o.ascii_char_delay, "ASCII: milliseconds after each character")
      ->capture_default_str();
  command.add_option("--line-delay", o.ascii_line_delay,
                     "ASCII: milliseconds after each end-of-line character")
      ->capture_default_str();
  command.add_option("--eol-char", o.ascii_eol_char,
                     "ASCII: the end-of-line character for --line-delay (13: CR, 10: LF)")
      ->check(CLI::Range(0, 255))
      ->capture_default_str();
  command.add_option("--cr-translation", o.ascii_cr, "ASCII: carriage returns: none, strip, add-lf")
      ->transform(translations("add-lf", aetAddLFAfter))
      ->default_str("none");
  command.add_option("--lf-translation", o.ascii_lf, "ASCII: line feeds: none, strip, add-cr")
      ->transform(translations("add-cr", aetAddCRBefore))
      ->default_str("none");
  command.add_flag("--suppress-ctrl-z", o.ascii_suppress_ctrl_z,
                   "ASCII: a Ctrl-Z ends the file and is neither sent nor stored");
  command.add_option("--eof-timeout", o.ascii_eof_timeout,
                     "ASCII receive: seconds of silence that end the file")
      ->check(CLI::Range(0.1, 3600.0))
      ->capture_default_str();
}

void ConfigureAscii(TQorProtocol& p, const TransferOptions& o) {
  p.SetAsciiCharDelay(o.ascii_char_delay);
  p.SetAsciiLineDelay(o.ascii_line_delay);
  p.SetAsciiEOLChar(static_cast<std::uint8_t>(o.ascii_eol_char));
  p.SetAsciiCRTranslation(o.ascii_cr);
  p.SetAsciiLFTranslation(o.ascii_lf);
  p.SetAsciiSuppressCtrlZ(o.ascii_suppress_ctrl_z);
  p.SetAsciiEOFTimeout(
      static_cast<std::uint32_t>(std::max(1L, std::lround(o.ascii_eof_timeout * 1000 / kMsPerTick))));
}

}  // namespace qor::xfer
