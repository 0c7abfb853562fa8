# Shared by the Windows toolchain files: mingw-w64 for the target named by
# CORVANTA_MINGW_TARGET (i686-w64-mingw32 or x86_64-w64-mingw32). The posix-thread
# compilers are used: the win32-thread ones of GCC 12 lack std::mutex and std::thread.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_C_COMPILER ${CORVANTA_MINGW_TARGET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${CORVANTA_MINGW_TARGET}-g++-posix)
set(CMAKE_RC_COMPILER ${CORVANTA_MINGW_TARGET}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${CORVANTA_MINGW_TARGET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
