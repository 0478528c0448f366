#include "comm/dispatcher/os_description.hpp"

#include <sys/utsname.h>

#define QOR_TEXT(x) #x
#define QOR_VERSION_TEXT(major, minor, patch) \
  QOR_TEXT(major) "." QOR_TEXT(minor) "." QOR_TEXT(patch)

namespace qor {

std::string OsDescription() {
  utsname name{};
  if (::uname(&name) != 0) return "Unknown";
  return std::string(name.sysname) + " " + name.release + " " + name.machine + " " + name.version;
}

std::string CompilerDescription() {
#if defined(__clang__)
  return "Clang " QOR_VERSION_TEXT(__clang_major__, __clang_minor__, __clang_patchlevel__);
#elif defined(__GNUC__)
  return "GCC " QOR_VERSION_TEXT(__GNUC__, __GNUC_MINOR__, __GNUC_PATCHLEVEL__);
#else
  return "an unknown compiler";
#endif
}

}  // namespace qor
