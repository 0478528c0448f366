#pragma once
// Ymodem's header block 0: the name, size and date of the file that follows.
#include <cstdint>
#include <string>
#include <vector>

#include "protocols/xymodem/xymodem_data.hpp"

namespace qor {

// The header for the file at path: its name (with its directories when
// include_directory is set) in lower case with slashes, a NUL, the size in
// decimal and, when file_date (packed) is not 0, a space and the date as 12
// octal digits. 128 bytes long when that fits, else 1024; zeros fill the rest.
std::vector<std::uint8_t> BuildYmodemHeader(const std::string& path, bool include_directory,
                                            std::int32_t size, std::int32_t file_date);

// What a received header says; bytes holds count data bytes.
TYmodemHeader ParseYmodemHeader(const std::uint8_t* bytes, std::int32_t count);

// The header that ends a batch: no name, its first 117 bytes all zero.
bool EndsBatch(const std::uint8_t* bytes, std::int32_t count);

}  // namespace qor
