#include "comm/errors/error_text.hpp"

#include <cstdlib>
#include <cstring>

#include "comm/errors/message_table.hpp"

namespace qor {

namespace {

std::int64_t Magnitude(std::int64_t code) { return code < 0 ? -code : code; }

// Midpoint rounded to the nearest integer, halves to even, as the table search
// has always done; it visits the same rows as the original lookup.
int RoundedMidpoint(int low, int high) {
  const int sum = low + high;
  int mid = sum / 2;
  if (sum % 2 != 0 && mid % 2 != 0) ++mid;
  return mid;
}

// The system's description of an error number with control characters blanked
// and blank runs folded; empty when the system knows no such error.
std::string SystemErrorText(std::int64_t number) {
  if (number > 0x7FFFFFFF) return {};
  const char* description = strerrordesc_np(static_cast<int>(number));
  if (description == nullptr) return {};
  std::string text;
  for (const char* p = description; *p != '\0' && text.size() < kMaxErrorTextLength; ++p) {
    const char c = static_cast<unsigned char>(*p) < 32 ? ' ' : *p;
    if (c == ' ' && !text.empty() && text.back() == ' ') continue;
    text.push_back(c);
  }
  return text;
}

}  // namespace

int FindMessageRow(std::int32_t code) {
  const std::int64_t wanted = Magnitude(code);
  int low = 0;
  int high = static_cast<int>(kMessageTable.size()) - 1;
  while (low <= high) {
    const int mid = RoundedMidpoint(low, high);
    const std::int64_t here = Magnitude(kMessageTable[static_cast<std::size_t>(mid)].code);
    if (wanted == here) return mid;
    if (wanted < here) {
      high = mid - 1;
    } else {
      low = mid + 1;
    }
  }
  return -1;
}

std::string ErrorText(std::int32_t code) {
  const int row = FindMessageRow(code);
  if (row >= 0) return kMessageTable[static_cast<std::size_t>(row)].text;
  return SystemErrorText(Magnitude(code));
}

void ErrorTextToBuffer(std::int32_t code, char* buffer, std::size_t size) {
  if (buffer == nullptr || size == 0) return;
  const std::string text = ErrorText(code);
  const std::size_t n = text.size() < size - 1 ? text.size() : size - 1;
  std::memcpy(buffer, text.data(), n);
  buffer[n] = '\0';
}

}  // namespace qor
