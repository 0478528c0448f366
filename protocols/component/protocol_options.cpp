// Engine options: each is kept in the component's cache and applied to its
// engine whenever that engine is the selected one.
#include <algorithm>

#include "protocols/component/protocol_component.hpp"
#include "protocols/ascii/ascii.hpp"
#include "protocols/kermit/kermit.hpp"
#include "protocols/xymodem/xymodem.hpp"
#include "protocols/zmodem/zmodem.hpp"

namespace qor {

// ---- Kermit

std::int32_t TQorCustomProtocol::ApplyKermitMaxLen() {
  if (kermit_max_len_ > 94) return qor::SetKermitMaxLongLen(*data_, kermit_max_len_);
  const std::int32_t r = qor::SetKermitMaxLen(*data_, kermit_max_len_);
  return r != 0 ? r : qor::SetKermitMaxLongLen(*data_, 0);
}

std::uint32_t TQorCustomProtocol::KermitMaxLen() const { return kermit_max_len_; }

void TQorCustomProtocol::SetKermitMaxLen(std::uint32_t v) {
  kermit_max_len_ = v > 94 ? std::min<std::uint32_t>(v, 1024) : v;
  if (KermitSelected()) Check(ApplyKermitMaxLen());
}

std::uint32_t TQorCustomProtocol::KermitMaxWindows() const { return kermit_max_windows_; }

void TQorCustomProtocol::SetKermitMaxWindows(std::uint32_t v) {
  kermit_max_windows_ = v <= 1 ? 0 : std::min<std::uint32_t>(v, 27);
  if (KermitSelected()) Check(qor::SetKermitMaxWindows(*data_, kermit_max_windows_));
}

void TQorCustomProtocol::SetKermitSWCTurnDelay(std::uint32_t v) {
  kermit_swc_turn_delay_ = v;
  if (KermitSelected()) Check(qor::SetKermitSWCTurnDelay(*data_, v));
}

void TQorCustomProtocol::SetKermitTimeoutSecs(std::uint32_t v) {
  kermit_timeout_secs_ = v;
  if (KermitSelected()) Check(qor::SetKermitTimeoutSecs(*data_, v));
}

void TQorCustomProtocol::SetKermitPadCharacter(std::uint8_t v) {
  kermit_pad_character_ = v;
  if (KermitSelected()) Check(qor::SetKermitPadding(*data_, v, kermit_pad_count_));
}

void TQorCustomProtocol::SetKermitPadCount(std::uint32_t v) {
  kermit_pad_count_ = v;
  if (KermitSelected()) Check(qor::SetKermitPadding(*data_, kermit_pad_character_, v));
}

void TQorCustomProtocol::SetKermitTerminator(std::uint8_t v) {
  kermit_terminator_ = v;
  if (KermitSelected()) Check(qor::SetKermitTerminator(*data_, v));
}

void TQorCustomProtocol::SetKermitCtlPrefix(std::uint8_t v) {
  kermit_ctl_prefix_ = v;
  if (KermitSelected()) Check(qor::SetKermitCtlPrefix(*data_, v));
}

void TQorCustomProtocol::SetKermitHighbitPrefix(std::uint8_t v) {
  kermit_highbit_prefix_ = v;
  if (KermitSelected()) Check(qor::SetKermitHibitPrefix(*data_, v));
}

void TQorCustomProtocol::SetKermitRepeatPrefix(std::uint8_t v) {
  kermit_repeat_prefix_ = v;
  if (KermitSelected()) Check(qor::SetKermitRepeatPrefix(*data_, v));
}

// ---- Xmodem/Ymodem

void TQorCustomProtocol::SetXYmodemBlockWait(std::uint32_t v) {
  xymodem_block_wait_ = v;
  if (XYmodemSelected()) Check(qor::SetXYmodemBlockWait(*data_, v));
}

// ---- Zmodem

// The file-management option byte: the option, and bit 0x80 for skip-no-file.
std::uint8_t TQorCustomProtocol::ZmodemOptionByte() const {
  return static_cast<std::uint8_t>(zmodem_file_option_ | (zmodem_skip_no_file_ ? 0x80 : 0));
}

std::int32_t TQorCustomProtocol::ApplyZmodemOptions() {
  std::int32_t r = qor::SetZmodemOptionOverride(*data_, zmodem_option_override_);
  if (r == 0) r = qor::SetZmodemFileOption(*data_, ZmodemOptionByte());
  if (r == 0) r = qor::SetZmodemRecover(*data_, zmodem_recover_);
  if (r == 0) r = qor::SetZmodem8K(*data_, zmodem_8k_);
  if (r == 0) r = qor::SetZmodemFinishRetry(*data_, zmodem_finish_retry_);
  if (r == 0) r = qor::SetZmodemEscControl(*data_, zmodem_esc_control_);
  return r;
}

TZmodemFileOptions TQorCustomProtocol::ZmodemFileOption() const {
  if (ZmodemSelected()) {
    const std::int32_t option = qor::ZmodemFileOptionOf(*data_);
    if (option >= 0) return static_cast<TZmodemFileOptions>(option & 0x7F);
  }
  return zmodem_file_option_;
}

void TQorCustomProtocol::SetZmodemOptionOverride(bool v) {
  zmodem_option_override_ = v;
  if (ZmodemSelected()) Check(qor::SetZmodemOptionOverride(*data_, v));
}

void TQorCustomProtocol::SetZmodemSkipNoFile(bool v) {
  zmodem_skip_no_file_ = v;
  if (ZmodemSelected()) Check(qor::SetZmodemFileOption(*data_, ZmodemOptionByte()));
}

void TQorCustomProtocol::SetZmodemFileOption(TZmodemFileOptions v) {
  if (v == zfoWriteCrc) return;  // not an option this engine takes
  zmodem_file_option_ = v;
  if (ZmodemSelected()) Check(qor::SetZmodemFileOption(*data_, ZmodemOptionByte()));
}

void TQorCustomProtocol::SetZmodemRecover(bool v) {
  zmodem_recover_ = v;
  if (ZmodemSelected()) Check(qor::SetZmodemRecover(*data_, v));
}

void TQorCustomProtocol::SetZmodem8K(bool v) {
  zmodem_8k_ = v;
  if (ZmodemSelected()) Check(qor::SetZmodem8K(*data_, v));
}

void TQorCustomProtocol::SetZmodemFinishRetry(std::uint32_t v) {
  zmodem_finish_retry_ = v;
  if (ZmodemSelected()) Check(qor::SetZmodemFinishRetry(*data_, v));
}

void TQorCustomProtocol::SetZmodemEscControl(bool v) {
  zmodem_esc_control_ = v;
  if (ZmodemSelected()) Check(qor::SetZmodemEscControl(*data_, v));
}

// ---- ASCII

std::int32_t TQorCustomProtocol::ApplyAsciiOptions() {
  std::int32_t r = qor::SetAsciiDelays(*data_, ascii_char_delay_, ascii_line_delay_);
  if (r == 0) r = qor::SetAsciiEOLChar(*data_, ascii_eol_char_);
  if (r == 0) r = qor::SetAsciiEOLTranslation(*data_, ascii_cr_translation_, ascii_lf_translation_);
  if (r == 0) r = qor::SetAsciiEOFTimeout(*data_, ascii_eof_timeout_);
  return r;
}

void TQorCustomProtocol::SetAsciiCharDelay(std::uint32_t v) {
  ascii_char_delay_ = v;
  if (AsciiSelected()) Check(qor::SetAsciiDelays(*data_, v, ascii_line_delay_));
}

void TQorCustomProtocol::SetAsciiLineDelay(std::uint32_t v) {
  ascii_line_delay_ = v;
  if (AsciiSelected()) Check(qor::SetAsciiDelays(*data_, ascii_char_delay_, v));
}

void TQorCustomProtocol::SetAsciiEOLChar(std::uint8_t v) {
  ascii_eol_char_ = v;
  if (AsciiSelected()) Check(qor::SetAsciiEOLChar(*data_, v));
}

void TQorCustomProtocol::SetAsciiCRTranslation(TAsciiEOLTranslation v) {
  ascii_cr_translation_ = v;
  if (AsciiSelected()) Check(qor::SetAsciiEOLTranslation(*data_, v, ascii_lf_translation_));
}

void TQorCustomProtocol::SetAsciiLFTranslation(TAsciiEOLTranslation v) {
  ascii_lf_translation_ = v;
  if (AsciiSelected()) Check(qor::SetAsciiEOLTranslation(*data_, ascii_cr_translation_, v));
}

void TQorCustomProtocol::SetAsciiEOFTimeout(std::uint32_t v) {
  ascii_eof_timeout_ = v;
  if (AsciiSelected()) Check(qor::SetAsciiEOFTimeout(*data_, v));
}

// ---- Assign

void TQorCustomProtocol::Assign(const TQorCustomProtocol& source) {
  if (&source == this) return;
  const TProtocolType type = source.protocol_type_;
  auto& from = const_cast<TQorCustomProtocol&>(source);
  from.SetProtocolType(ptNoProtocol);
  SetProtocolType(ptNoProtocol);
  // The record's settings (its lock, file and engine stay this record's own).
  TProtocolData& d = *data_;
  const TProtocolData& s = *source.data_;
  d.HandshakeRetry = s.HandshakeRetry;
  d.HandshakeWait = s.HandshakeWait;
  d.BlockLength = s.BlockLength;
  d.Options = s.Options;
  d.TransmitTimeout = s.TransmitTimeout;
  d.FinishWait = s.FinishWait;
  d.WriteFailAction = s.WriteFailAction;
  d.CharsPerSecond = s.CharsPerSecond;
  d.Overhead = s.Overhead;
  d.TurnDelay = s.TurnDelay;
  d.StatusInterval = s.StatusInterval;
  d.UpcaseFileNames = s.UpcaseFileNames;
  d.PathName = s.PathName;
  d.SearchMask = s.SearchMask;
  d.DestinationDirectory = s.DestinationDirectory;
  line_rate_pending_ = source.line_rate_pending_;
  SetComPort(source.com_port_);
  status_display_ = source.status_display_;
  protocol_log_ = source.protocol_log_;
  xymodem_block_wait_ = source.xymodem_block_wait_;
  zmodem_option_override_ = source.zmodem_option_override_;
  zmodem_skip_no_file_ = source.zmodem_skip_no_file_;
  zmodem_file_option_ = source.zmodem_file_option_;
  zmodem_recover_ = source.zmodem_recover_;
  zmodem_8k_ = source.zmodem_8k_;
  zmodem_finish_retry_ = source.zmodem_finish_retry_;
  zmodem_esc_control_ = source.zmodem_esc_control_;
  kermit_max_len_ = source.kermit_max_len_;
  kermit_max_windows_ = source.kermit_max_windows_;
  kermit_swc_turn_delay_ = source.kermit_swc_turn_delay_;
  kermit_timeout_secs_ = source.kermit_timeout_secs_;
  kermit_pad_character_ = source.kermit_pad_character_;
  kermit_pad_count_ = source.kermit_pad_count_;
  kermit_terminator_ = source.kermit_terminator_;
  kermit_ctl_prefix_ = source.kermit_ctl_prefix_;
  kermit_highbit_prefix_ = source.kermit_highbit_prefix_;
  kermit_repeat_prefix_ = source.kermit_repeat_prefix_;
  ascii_char_delay_ = source.ascii_char_delay_;
  ascii_line_delay_ = source.ascii_line_delay_;
  ascii_eol_char_ = source.ascii_eol_char_;
  ascii_cr_translation_ = source.ascii_cr_translation_;
  ascii_lf_translation_ = source.ascii_lf_translation_;
  ascii_eof_timeout_ = source.ascii_eof_timeout_;
  OnProtocolAccept = source.OnProtocolAccept;
  OnProtocolError = source.OnProtocolError;
  OnProtocolFinish = source.OnProtocolFinish;
  OnProtocolLog = source.OnProtocolLog;
  OnProtocolNextFile = source.OnProtocolNextFile;
  OnProtocolResume = source.OnProtocolResume;
  OnProtocolStatus = source.OnProtocolStatus;
  SetProtocolType(type);
  from.SetProtocolType(type);
}

}  // namespace qor
