# Corvix.dll as shipped: 32-bit Windows, for Outlook 2000 and 2002 (32-bit programs).
set(CMAKE_SYSTEM_PROCESSOR i686)
set(CORVANTA_MINGW_TARGET i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw.cmake)
