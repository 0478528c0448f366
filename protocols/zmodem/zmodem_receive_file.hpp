#pragma once
// The receiver's side of a file: what the file information says, where the
// file goes, whether and where it is written (the file-management options
// and crash recovery), and opening it there.
#include <cstdint>

#include "protocols/zmodem/zmodem_data.hpp"

namespace qor {

// Reads the file information in DataBlock (len bytes): FileName inside the
// destination directory, FileLength, the sender's date. False when the name
// must be refused (-6011 reported).
bool TakeFileInformation(TProtocolData& data, TZmodemData& zd, std::int32_t len);

// Opens PathName for writing at offset: the bytes before it are kept, when
// offset is 0 the file is created empty.
void OpenReceivedFile(TProtocolData& data, TZmodemData& zd, std::int32_t offset);

// The CRC-32 of the local file's first len bytes as the sender reports it.
std::uint32_t LocalFileCrc(TProtocolData& data, std::int32_t len);

}  // namespace qor
