#include "tools/qorxfer/progress.hpp"

#include <cinttypes>

namespace qor::xfer {

namespace {

constexpr auto kPlainLineInterval = std::chrono::seconds(1);

std::string Bytes(double n) {
  const char* units[] = {"B", "KiB", "MiB", "GiB"};
  int unit = 0;
  while (n >= 1024 && unit < 3) {
    n /= 1024;
    ++unit;
  }
  char text[32];
  std::snprintf(text, sizeof text, unit == 0 ? "%.0f %s" : "%.1f %s", n, units[unit]);
  return text;
}

}  // namespace

std::string ProgressLine(std::int64_t bytes, std::int64_t size, double seconds) {
  std::string line = Bytes(static_cast<double>(bytes));
  if (size > 0) line += "  " + std::to_string(bytes * 100 / size) + "%";
  const double rate = seconds > 0 ? static_cast<double>(bytes) / seconds : 0;
  line += "  " + Bytes(rate) + "/s";
  if (size > 0 && rate > 0 && bytes < size) {
    const auto eta = static_cast<std::int64_t>(static_cast<double>(size - bytes) / rate);
    char text[32];
    std::snprintf(text, sizeof text, "  ETA %" PRId64 ":%02" PRId64, eta / 60, eta % 60);
    line += text;
  }
  return line;
}

void Progress::Begin() {
  start_ = Clock::now();
  last_line_ = {};
}

void Progress::Update(std::int64_t bytes, std::int64_t size) {
  const auto now = Clock::now();
  if (!terminal_ && now - last_line_ < kPlainLineInterval) return;
  last_line_ = now;
  const std::string line =
      ProgressLine(bytes, size, std::chrono::duration<double>(now - start_).count());
  if (terminal_) {
    std::fprintf(out_, "\r%s\x1b[K", line.c_str());
    drawn_ = true;
  } else {
    std::fprintf(out_, "%s\n", line.c_str());
  }
  std::fflush(out_);
}

void Progress::Break() {
  if (!drawn_) return;
  std::fputc('\n', out_);
  drawn_ = false;
}

}  // namespace qor::xfer
