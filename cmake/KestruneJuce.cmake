# JUCE's module sources are compiled once, into kestrune_juce; consumers get the
# include paths and definitions but not the sources again.
add_library(kestrune_juce STATIC)
target_link_libraries(kestrune_juce
    PRIVATE
        juce::juce_core juce::juce_events juce::juce_data_structures
        juce::juce_graphics juce::juce_gui_basics juce::juce_gui_extra
        juce::juce_audio_basics juce::juce_audio_devices
    PUBLIC
        juce::juce_recommended_config_flags)
if(NOT KESTRUNE_WITH_FFTW)
    # juce::dsp::FFT, the pitch detector's transform where FFTW is missing.
    # juce_dsp brings juce_audio_formats, whose FLAC and Vorbis codecs Debian's
    # JUCE takes from the system; nothing here reads audio files.
    target_link_libraries(kestrune_juce PRIVATE juce::juce_dsp)
    target_compile_definitions(kestrune_juce PRIVATE JUCE_USE_FLAC=0 JUCE_USE_OGGVORBIS=0)
endif()
if(MINGW)
    # Debian's JUCE decodes PNG and JPEG with the system's libpng and libjpeg,
    # which are not packaged for MinGW: their interfaces over stb_image instead.
    set(codecs ${CMAKE_SOURCE_DIR}/platform/mingw)
    target_sources(kestrune_juce PRIVATE ${codecs}/StbImageCodecs.cpp)
    target_include_directories(kestrune_juce PRIVATE ${codecs})
    set_source_files_properties(${codecs}/StbImageCodecs.cpp PROPERTIES INCLUDE_DIRECTORIES /usr/include/stb)
endif()
if(TARGET juce::pkgconfig_JUCE_IMG_LINUX_DEPS)
    # Debian's JUCE decodes images with the system's libpng and libjpeg.
    target_link_libraries(kestrune_juce PUBLIC juce::pkgconfig_JUCE_IMG_LINUX_DEPS)
endif()
target_compile_definitions(kestrune_juce
    PUBLIC
        $<$<PLATFORM_ID:Linux>:JUCE_ALSA=1>
        JUCE_WEB_BROWSER=0
        JUCE_USE_CURL=0
        JUCE_STANDALONE_APPLICATION=1
        JUCE_MODAL_LOOPS_PERMITTED=1
        JUCE_DISPLAY_SPLASH_SCREEN=0
        JUCE_USE_XRANDR=1
        JUCE_USE_XINERAMA=1
        JUCE_USE_XCURSOR=1
        JUCE_APPLICATION_NAME_STRING="Kestrune Tuning Utility"
        JUCE_APPLICATION_VERSION_STRING="${PROJECT_VERSION}")
target_include_directories(kestrune_juce
    INTERFACE $<TARGET_PROPERTY:kestrune_juce,INCLUDE_DIRECTORIES>)
target_compile_definitions(kestrune_juce
    INTERFACE $<TARGET_PROPERTY:kestrune_juce,COMPILE_DEFINITIONS>)
set_target_properties(kestrune_juce PROPERTIES POSITION_INDEPENDENT_CODE ON)

# JACK's audio driver is compiled into juce_audio_devices alone; no other
# file depends on it, so a build without JACK differs from one with it in
# that file only and shares every other compiler cache entry with it.
if(KESTRUNE_WITH_JACK)
    set_source_files_properties(${JUCE_MODULES_DIR}/juce_audio_devices/juce_audio_devices.cpp
        PROPERTIES COMPILE_DEFINITIONS "JUCE_JACK=1;JUCE_JACK_CLIENT_NAME=\"Kestrune Tuning Utility\"")
endif()

# Unoptimised, the software renderer's pixel loops take tens of milliseconds
# to repaint a window, holding up the message thread of a Debug build as no
# owner's build ever is: JUCE's graphics are compiled optimised in every build.
set_source_files_properties(${JUCE_MODULES_DIR}/juce_graphics/juce_graphics.cpp
    PROPERTIES COMPILE_OPTIONS "$<$<CONFIG:Debug>:-O2>")
