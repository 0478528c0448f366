#include "protocols/log/history_entry.hpp"

#include <clocale>
#include <locale.h>

#include "comm/ticks.hpp"
#include "protocols/core/protocol_core.hpp"

namespace qor {

namespace {

constexpr const char* kEol = "\r\n";
// Under 18 ticks a transfer took less than a second: no rate to divide out.
constexpr std::int32_t kTicksForRate = 18;

std::string Direction(std::uint32_t code) { return code <= 3 ? " receive " : " transmit "; }

}  // namespace

std::int32_t HistoryCps(std::int32_t file_size, std::int32_t elapsed_ticks) {
  if (elapsed_ticks < kTicksForRate) return file_size;
  return file_size / TicksToSecs(elapsed_ticks);
}

std::string HistoryEntry(std::uint32_t code, const THistoryFacts& facts, const std::string& when) {
  const std::string name = ProtocolName(facts.ProtocolType);
  const std::string& file = facts.FileName;
  switch (code) {
    case 0:
    case 4:
      return name + Direction(code) + "started on  " + when + " : " + file + kEol;
    case 1:
    case 5:
      return name + Direction(code) + "finished OK " + when + " : " + file + kEol +
             "   Elapsed time: " + MinutesSeconds(TicksToSecs(facts.ElapsedTicks)) +
             "   CPS: " + std::to_string(HistoryCps(facts.FileSize, facts.ElapsedTicks)) +
             "   Size: " + std::to_string(facts.FileSize) + kEol + kEol;
    case 2:
    case 3:
    case 6:
    case 7: {
      const char* what = code == 2   ? " receive failed "
                         : code == 3 ? " receive skipped "
                         : code == 6 ? " transmit failed "
                                     : " transmit skipped ";
      return name + what + file + " " + StatusText(facts.StatusCode) + kEol + kEol;
    }
    default:
      return {};
  }
}

std::string LocalDateTimeText(std::time_t t) {
  std::tm parts{};
  localtime_r(&t, &parts);
  locale_t locale = newlocale(LC_TIME_MASK, "", static_cast<locale_t>(0));
  if (locale == static_cast<locale_t>(0)) locale = newlocale(LC_TIME_MASK, "C", static_cast<locale_t>(0));
  char text[128] = "";
  const std::size_t n = strftime_l(text, sizeof text, "%x %X", &parts, locale);
  freelocale(locale);
  return std::string(text, n);
}

}  // namespace qor
