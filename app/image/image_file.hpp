#pragma once
#include <cstdint>
#include <optional>
#include <string>

namespace qor::app {

// The first five bytes that an image of each kind begins with, as
// SignatureText writes them.
inline constexpr const char* kKernelSignature = "0 82 80 79 0 ";
inline constexpr const char* kRootFsSignature = "40 205 61 69 0 ";

// The first line of a file read as text: at most 80 characters, ending before
// an LF, a CR LF or the byte 26; a lone CR is dropped. Nothing when the file
// cannot be opened or read.
std::optional<std::string> ReadImageFirstLine(const std::string& path);

// The line's first five bytes in decimal, each followed by a blank; nothing
// when the line is shorter.
std::optional<std::string> SignatureText(const std::string& line);

enum class TImageCheck { Unreadable, WrongKind, Matches };

// Whether the file is an image of the kind asked for (the kernel's when
// kernel, else the root file system's), judged by its first line's signature.
TImageCheck CheckImage(const std::string& path, bool kernel);

// The file's size in bytes, or -1 when it cannot be opened.
std::int32_t GetImageFileSize(const std::string& path);

}  // namespace qor::app
