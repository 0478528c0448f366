#pragma once
#include <string>

namespace qor {

// The running system as uname reports it: system name, release, machine and
// build version, in that order so that a cut line keeps the first three, e.g.
// "Linux 6.1.0-18-amd64 x86_64 #1 SMP PREEMPT_DYNAMIC Debian 6.1.76-1";
// "Unknown" when the system does not say.
std::string OsDescription();

// The compiler that built the library and its version, e.g. "GCC 12.2.0".
std::string CompilerDescription();

}  // namespace qor
