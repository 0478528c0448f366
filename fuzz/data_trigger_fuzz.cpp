// The data-trigger matcher against the plain reading of what it promises: a
// trigger fires only when the bytes received since its last match end with
// its string (letters folded when it ignores case), and always when they do
// without the byte that completed the last match. That byte may begin the
// next match ("AA" matches twice in "AAA"), but whether it does depends on
// where the packed cursors stand, so either answer passes there.
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "comm/dispatcher/triggers.hpp"

using namespace qor;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
  if (size < 2) return 0;
  // First byte: the string's length and the case flag; then the string; then
  // the received bytes.
  const std::size_t length = 1 + bytes[0] % kDataTriggerCursors;
  const bool ignore_case = (bytes[0] & 0x80) != 0;
  if (size < 1 + length) return 0;
  const auto fold = [ignore_case](std::uint8_t c) {
    return static_cast<char>(ignore_case ? std::toupper(c) : c);
  };
  std::array<char, kDataTriggerStringSize> string{};
  std::string wanted;
  for (std::size_t i = 0; i < length; ++i) {
    string[i] = fold(bytes[1 + i]);  // as AddDataTrigger stores it
    wanted.push_back(string[i]);
  }

  std::array<std::int32_t, kDataTriggerCursors> cursors{};
  std::string since_match;  // from the byte that completed the last match
  std::string after_match;  // from the byte after it
  const auto ends_with_string = [&wanted, length](const std::string& s) {
    return s.size() >= length && s.compare(s.size() - length, length, wanted) == 0;
  };
  for (std::size_t i = 1 + length; i < size; ++i) {
    since_match.push_back(fold(bytes[i]));
    after_match.push_back(fold(bytes[i]));
    const bool got = MatchDataTrigger(cursors, bytes[i], static_cast<std::int32_t>(length),
                                      ignore_case, string);
    if (got != ends_with_string(got ? since_match : after_match)) {
      std::fprintf(stderr, "trigger of %zu bytes: %s at byte %zu\n", length,
                   got ? "a false match" : "a missed match", i - length);
      std::abort();
    }
    if (got) {
      since_match.erase(0, since_match.size() - 1);
      after_match.clear();
    }
  }
  return 0;
}
