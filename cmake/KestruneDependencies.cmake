# The libraries outside JUCE: FFTW where it is packaged, JACK where it exists.

# FFTW: pkg-config finds it where there is one (Linux, Homebrew, MSYS2),
# FFTW's own CMake package elsewhere (vcpkg). Where neither has it (Debian's
# MinGW cross compiler), the pitch detector runs on JUCE's own FFT.
find_package(PkgConfig QUIET)
if(PKG_CONFIG_FOUND)
    pkg_check_modules(FFTW3F QUIET IMPORTED_TARGET fftw3f)
endif()
add_library(kestrune_fftw INTERFACE)
if(TARGET PkgConfig::FFTW3F)
    target_link_libraries(kestrune_fftw INTERFACE PkgConfig::FFTW3F)
    set(KESTRUNE_WITH_FFTW ON)
else()
    find_package(FFTW3f CONFIG QUIET)
    if(TARGET FFTW3::fftw3f)
        target_link_libraries(kestrune_fftw INTERFACE FFTW3::fftw3f)
        set(KESTRUNE_WITH_FFTW ON)
    else()
        set(KESTRUNE_WITH_FFTW OFF)
    endif()
endif()
message(STATUS "Kestrune: FFTW ${KESTRUNE_WITH_FFTW}")

# JACK: the utility's own JACK MIDI ports, JUCE's JACK audio driver, the
# virtual Kestrune and the end-to-end tests. On by default where JACK's
# development files are found on Linux; without it the utility lists JUCE's
# MIDI ports only.
set(kestrune_jack_default OFF)
if(CMAKE_SYSTEM_NAME STREQUAL "Linux" AND PKG_CONFIG_FOUND)
    pkg_check_modules(JACK QUIET IMPORTED_TARGET jack)
    if(TARGET PkgConfig::JACK)
        set(kestrune_jack_default ON)
    endif()
endif()
option(KESTRUNE_WITH_JACK "JACK MIDI ports and audio driver, the virtual Kestrune and the end-to-end tests" ${kestrune_jack_default})
if(KESTRUNE_WITH_JACK AND NOT TARGET PkgConfig::JACK)
    message(FATAL_ERROR "KESTRUNE_WITH_JACK is on but JACK's development files were not found through pkg-config")
endif()
message(STATUS "Kestrune: JACK ${KESTRUNE_WITH_JACK}")
