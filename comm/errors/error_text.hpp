#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

namespace qor {

// Longest text ErrorText gives.
inline constexpr std::size_t kMaxErrorTextLength = 255;

// The message text of |code|: the library's own text when it has one, else the
// operating system's description of error number |code| (control characters
// turned into blanks, runs of blanks folded into one), else the empty text.
std::string ErrorText(std::int32_t code);

// The same text copied into a caller's buffer of size bytes, always zero-terminated.
void ErrorTextToBuffer(std::int32_t code, char* buffer, std::size_t size);

// Index of the row for |code| in the message table, or -1.
int FindMessageRow(std::int32_t code);

}  // namespace qor
