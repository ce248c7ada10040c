# x86 Windows with Debian's MinGW-w64, posix threading variant (GoogleTest
# needs std::mutex, which the win32 variant lacks). The preset names the
# target in QUENLIXOR_MINGW_TRIPLE: i686-w64-mingw32 (32-bit) or
# x86_64-w64-mingw32 (64-bit).
if(NOT QUENLIXOR_MINGW_TRIPLE MATCHES "^(i686|x86_64)-w64-mingw32$")
    message(FATAL_ERROR "QUENLIXOR_MINGW_TRIPLE is '${QUENLIXOR_MINGW_TRIPLE}', not i686-w64-mingw32 or x86_64-w64-mingw32")
endif()
# The compiler checks configure projects of their own, which see only the
# variables named here.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES QUENLIXOR_MINGW_TRIPLE)

set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR ${CMAKE_MATCH_1})

set(CMAKE_C_COMPILER ${QUENLIXOR_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${QUENLIXOR_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${QUENLIXOR_MINGW_TRIPLE}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${QUENLIXOR_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
