# Shared part of the mingw-w64 toolchain files. The -posix compilers are required:
# the win32-thread variant has no std::thread or std::mutex.
set(CMAKE_C_COMPILER ${TALLIX_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${TALLIX_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${TALLIX_MINGW_PREFIX}-windres)
set(CMAKE_OBJDUMP ${TALLIX_MINGW_PREFIX}-objdump)
set(CMAKE_FIND_ROOT_PATH /usr/${TALLIX_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
