# The same sources for 64-bit Windows: the Windows tests run under 64-bit Wine on
# machines that cannot run 32-bit programs. Nothing built here is shipped.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(CORVANTA_MINGW_TARGET x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw.cmake)
