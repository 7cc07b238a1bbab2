# Cross build for 64-bit Windows with Debian's MinGW-w64 (the POSIX thread
# model, which std::thread and std::mutex need):
#   cmake -B build/windows -DCMAKE_TOOLCHAIN_FILE=cmake/toolchains/x86_64-w64-mingw32.cmake
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(KESTRUNE_MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${KESTRUNE_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${KESTRUNE_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${KESTRUNE_MINGW_TRIPLE}-windres)

# Libraries and headers for the target (zlib, GoogleTest) come from the
# MinGW tree only; programs (juceaide, pkg-config) from the build machine.
set(CMAKE_FIND_ROOT_PATH /usr/${KESTRUNE_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
# JUCE's CMake package describes module sources and juceaide, not target
# binaries: it is the build machine's.
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE BOTH)
file(GLOB KESTRUNE_HOST_JUCE_PACKAGE /usr/lib/*-linux-gnu/cmake/JUCE-7*)
if(KESTRUNE_HOST_JUCE_PACKAGE)
    list(GET KESTRUNE_HOST_JUCE_PACKAGE 0 JUCE_DIR)
endif()
# pkg-config sees the MinGW tree's .pc files only, never the build machine's
# (its FFTW and JACK are Linux libraries).
set(ENV{PKG_CONFIG_LIBDIR} /usr/${KESTRUNE_MINGW_TRIPLE}/lib/pkgconfig)

# The C and C++ run-times and winpthread linked in, so that the programs
# start without MinGW's DLLs beside them.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")

# JUCE's GUI module compiles to more sections than the default COFF object
# format can hold.
set(CMAKE_C_FLAGS_INIT "-Wa,-mbig-obj")
set(CMAKE_CXX_FLAGS_INIT "-Wa,-mbig-obj")
