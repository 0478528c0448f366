#pragma once
// A file received through Ymodem made to match its header: the padding of
// its last block cut off, and the date it was sent with.
#include <cstdint>

namespace qor {

// Cuts the file at path to size when it is longer by less than one 1024-byte
// block (size 0: not known, left alone), and sets its modification time to
// seconds since 1970 in local wall-clock time (0: no date). 0, or -errno;
// length: the file's length afterwards.
std::int32_t SettleReceivedFile(const char* path, std::int32_t size, std::uint32_t seconds,
                                std::int64_t& length);

}  // namespace qor
