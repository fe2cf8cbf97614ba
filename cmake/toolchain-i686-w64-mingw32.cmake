# Cross-build for 32-bit Windows, the release target: the chat client's automation
# library is a 32-bit in-process server, so the gateway that loads it is 32-bit too.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(TAVORO_MINGW_TRIPLET i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
