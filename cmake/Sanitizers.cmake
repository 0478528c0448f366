# QOR_SANITIZE=address builds with AddressSanitizer and UndefinedBehaviorSanitizer,
# QOR_SANITIZE=thread with ThreadSanitizer.
if(QOR_SANITIZE STREQUAL "address")
  set(_san -fsanitize=address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer)
elseif(QOR_SANITIZE STREQUAL "thread")
  set(_san -fsanitize=thread -fno-omit-frame-pointer)
elseif(NOT QOR_SANITIZE STREQUAL "")
  message(FATAL_ERROR "QOR_SANITIZE must be empty, 'address' or 'thread', not '${QOR_SANITIZE}'")
endif()
if(DEFINED _san)
  add_compile_options(${_san})
  add_link_options(${_san})
endif()
