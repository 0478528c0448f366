# Precompiled headers, to keep the three CI builds short. The test programs have
# their own (tests/CMakeLists.txt). QOR_LIBRARY_PCH precompiles the standard
# headers the library's and the tools' sources share, parsing which was about
# half the time of each of those small sources; the sanitizer and fuzz presets
# turn it on. The default build leaves it off: with CMake's precompiled-header
# wrapper GCC 12 at -O2 reports libstdc++'s own string copies under
# -Warray-bounds, and the library keeps that warning.
option(QOR_LIBRARY_PCH "Precompile the standard headers the library's sources share" OFF)
if(QOR_LIBRARY_PCH)
  add_library(qor_library_pch OBJECT ${CMAKE_CURRENT_LIST_DIR}/pch/pch.cpp)
  target_precompile_headers(qor_library_pch PRIVATE ${CMAKE_CURRENT_LIST_DIR}/pch/library_pch.hpp)
endif()

# Gives each named target the shared header; the targets must be compiled with
# the same flags as qor_library_pch (no Qt, not position-independent).
function(qor_use_library_pch)
  if(QOR_LIBRARY_PCH)
    foreach(target IN LISTS ARGN)
      target_precompile_headers(${target} REUSE_FROM qor_library_pch)
    endforeach()
  endif()
endfunction()
