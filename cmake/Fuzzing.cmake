# QOR_FUZZ builds everything with the instrumentation libFuzzer needs, under
# AddressSanitizer and UndefinedBehaviorSanitizer; the fuzz targets in fuzz/
# link libFuzzer's driver. Clang only.
if(QOR_FUZZ)
  if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
    message(FATAL_ERROR "QOR_FUZZ needs clang (CMAKE_CXX_COMPILER=clang++), not ${CMAKE_CXX_COMPILER_ID}")
  endif()
  if(NOT QOR_SANITIZE STREQUAL "")
    message(FATAL_ERROR "QOR_FUZZ brings its own sanitizers: leave QOR_SANITIZE empty")
  endif()
  add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=undefined
                      -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
endif()
