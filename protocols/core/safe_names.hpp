#pragma once
// Where a received file may be stored. A name announced by the other side is
// untrusted input: it may carry directories, "..", an absolute path or
// control characters, and it must never place a file outside the directory
// the application chose.
#include <optional>
#include <string>
#include <string_view>

namespace qor {

// The name with every control character (below 0x20, and 0x7F) replaced by
// '_', so that it can neither hide in a listing nor drive a terminal.
std::string PrintableName(std::string_view name);

// The path for a received name, inside destination (an empty destination is
// the current directory), or nothing when the name must be refused.
// Without honor_directory only the name part is kept (what follows the last
// '/', '\' or ':'). With it the name may carry directories, separated by '/'
// or '\', which must stay inside destination once "." and ".." are resolved;
// an absolute name or one with a drive ("C:") is refused. A name that ends up
// empty, "." or "..", or a path longer than 255 characters, is refused rather
// than cut to a different name.
std::optional<std::string> ReceivedFilePath(std::string_view destination, std::string_view name,
                                            bool honor_directory);

}  // namespace qor
