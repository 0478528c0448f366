#pragma once
// The descriptor-level work shared by the file routines of the core.
#include <array>
#include <cstdint>
#include <string_view>

#include "protocols/core/protocol_data.hpp"

namespace qor {

// Reads until size bytes have come or the file ends: the count, or -errno.
std::int64_t ReadAt(int fd, std::uint8_t* buffer, std::int64_t size, std::int64_t offset);
// Writes until size bytes are out: the count (short when the disk is full), or -errno.
std::int64_t WriteAt(int fd, const std::uint8_t* buffer, std::int64_t size, std::int64_t offset);

// Closes the work file (errors ignored) and frees its buffer.
void CloseWorkFile(TProtocolData& data);

// Copies text into a name buffer of kPathSize, cut to 255 characters.
void CopyName(char* buffer, std::string_view text);
inline void CopyName(std::array<char, kPathSize>& buffer, std::string_view text) {
  CopyName(buffer.data(), text);
}

}  // namespace qor
