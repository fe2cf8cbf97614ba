# The i686 build that ships: the win32 toolchain plus what makes its executables the same bytes
# whoever builds them, wherever the tree and the build folder lie (scripts/check-reproducible.sh
# proves it). The archiver needs nothing: MinGW's ar writes zero timestamps and ids by default.
include(${CMAKE_CURRENT_LIST_DIR}/toolchain-i686-w64-mingw32.cmake)

get_filename_component(_tavoro_source_dir "${CMAKE_CURRENT_LIST_DIR}/.." ABSOLUTE)
# Paths the compiler would otherwise embed (__FILE__, debug sections before stripping) are made
# relative to the tree and the build folder.
set(_tavoro_prefix_map "-ffile-prefix-map=${_tavoro_source_dir}=. -ffile-prefix-map=${CMAKE_BINARY_DIR}=build")
set(CMAKE_C_FLAGS_INIT "${_tavoro_prefix_map}")
set(CMAKE_CXX_FLAGS_INIT "${_tavoro_prefix_map}")
# No symbols for anyone to ship by mistake, and no link time in the PE header: the header's
# timestamp is the only part of a MinGW executable that differs between two identical links.
set(CMAKE_EXE_LINKER_FLAGS_INIT "${CMAKE_EXE_LINKER_FLAGS_INIT} -s -Wl,--no-insert-timestamp")
