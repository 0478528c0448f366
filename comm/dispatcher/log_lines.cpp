#include "comm/dispatcher/log_lines.hpp"

#include <array>
#include <cstdio>
#include <ctime>

#include "comm/dispatcher/dispatch_log_codes.hpp"
#include "comm/dispatcher/dump_items.hpp"
#include "comm/dispatcher/os_description.hpp"
#include "comm/errors/error_text.hpp"

namespace qor {

namespace {

constexpr std::size_t kMaxHeaderText = 80;
constexpr std::int32_t kKindTexts = 15001;
constexpr std::int32_t kSubKindTexts = 15100;
constexpr std::int32_t kModemBitTexts = 15601;
constexpr std::int32_t kTelnetOptionTexts = 15700;
constexpr std::int32_t kColumnTitles = 15501;
constexpr std::int32_t kColumnRules = 15502;
constexpr std::uint8_t kLastKind = dlkScript;
constexpr std::uint16_t kLastSubKind = 256;  // the last protocol state name
constexpr std::uint32_t kLastTelnetOption = 42;

constexpr std::array<const char*, 6> kStatusKindTexts = {
    "(Not active)",         "(Modem status)",       "(Line status)",
    "(Output buffer free)", "(Output buffer used)", "(Output sent)"};

void WriteLine(TTextFile& file, const std::string& text) {
  file.Write(text);
  file.EndLine();
}

std::string LocalDateTime() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  char text[32];
  std::strftime(text, sizeof text, "%d/%m/%y, %H:%M:%S", &local);
  return text;
}

// Codes outside the ranges would reach unrelated messages of the table.
std::string KindText(std::uint8_t kind) {
  return kind <= kLastKind ? ErrorText(kKindTexts + kind) : std::string();
}

std::string SubKindText(std::uint16_t sub_kind) {
  return sub_kind != dlsNone && sub_kind <= kLastSubKind ? ErrorText(kSubKindTexts + sub_kind)
                                                         : std::string();
}

std::string PaddedRight(std::string text, std::size_t width) {
  if (text.size() < width) text.append(width - text.size(), ' ');
  return text;
}

// Milliseconds as seconds with three decimals, at least four digits before the point.
std::string TimeText(std::uint32_t ms) {
  char digits[16];
  std::snprintf(digits, sizeof digits, "%07u", ms);
  std::string text = digits;
  text.insert(text.size() - 3, ".");
  return text;
}

std::string NumberText(std::uint32_t number) {
  char text[16];
  std::snprintf(text, sizeof text, "%08X", number);
  return text;
}

std::string ModemBitNames(std::uint32_t bits) {
  std::string names;
  for (int bit = 0; bit < 8; ++bit) {
    if ((bits & (1u << bit)) != 0) names += ErrorText(kModemBitTexts + bit);
  }
  if (!names.empty()) names.pop_back();
  return "(" + names + ")";
}

bool IsStatusTriggerEntry(const TLogBuffer& entry) {
  return entry.SubKind == dlsStatusTrigger &&
         (entry.Kind == dlkTriggerAlloc || entry.Kind == dlkTriggerDispose);
}

void WriteData(TTextFile& file, const TLogBuffer& entry, bool in_hex, bool all_hex) {
  if (IsStatusTriggerEntry(entry)) {
    const std::uint8_t status_kind = entry.Data.front();
    if (status_kind < kStatusKindTexts.size()) file.Write(kStatusKindTexts[status_kind]);
    return;
  }
  TItemLine line(file, kLogWrap);
  for (const std::uint8_t c : entry.Data) {
    // User entries are text the program wrote; all hex leaves them as they are.
    if (all_hex && entry.Kind == dlkUser) {
      line.Add(std::string(1, static_cast<char>(c)));
    } else {
      line.Add(DumpItem(c, in_hex, all_hex));
    }
  }
  if (entry.SubKind == dlsModemStatus) file.Write(ModemBitNames(entry.Number));
}

}  // namespace

void WriteLogHeader(TTextFile& file, const std::string& device_name) {
  WriteLine(file, "KESO v4.07");
  WriteLine(file, "Compiler : " + CompilerDescription());
  WriteLine(file, "Operating System : " + OsDescription().substr(0, kMaxHeaderText));
  WriteLine(file, "Device: " + device_name);
  WriteLine(file, "Date/time: " + LocalDateTime());
  WriteLine(file, ErrorText(kColumnTitles));
  WriteLine(file, ErrorText(kColumnRules));
}

void WriteLogEntry(TTextFile& file, const TLogBuffer& entry, bool in_hex, bool all_hex) {
  file.Write(TimeText(entry.Time) + "  " + PaddedRight(KindText(entry.Kind), 8) + "  " +
             PaddedRight(SubKindText(entry.SubKind), 12) + "  " + NumberText(entry.Number) +
             "  ");
  if (!entry.Data.empty()) {
    WriteData(file, entry, in_hex, all_hex);
  } else if (entry.Kind == dlkTelnet && entry.Number <= kLastTelnetOption) {
    file.Write("[" + ErrorText(kTelnetOptionTexts + static_cast<std::int32_t>(entry.Number)) + "]");
  }
  file.EndLine();
}

}  // namespace qor
