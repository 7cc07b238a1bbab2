# What `cmake --install` puts where, and the Debian package CPack builds from it.
include(GNUInstallDirs)

set(KESTRUNE_APP_ID "com.kestrune.TuningUtility")
set(KESTRUNE_HOMEPAGE_URL "https://kestrune.example/tuning-utility" CACHE STRING
    "Home page named in the AppStream metainfo and the Debian package")
set(KESTRUNE_SCREENSHOT_URL "${KESTRUNE_HOMEPAGE_URL}/screenshots" CACHE STRING
    "Where the pictures of docs/ are published, for the AppStream metainfo")
set(KESTRUNE_RELEASE_DATE "2026-12-07")

if(APPLE OR WIN32)
    install(TARGETS KestruneTuningUtility BUNDLE DESTINATION . RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
else()
    # The artefact is named after the product, spaces and all; on a path a
    # command has a command's name.
    install(PROGRAMS $<TARGET_FILE:KestruneTuningUtility>
        DESTINATION ${CMAKE_INSTALL_BINDIR} RENAME kestrune-tuning-utility)
    if(TARGET kestrune-sim)
        install(TARGETS kestrune-sim RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
    endif()
    install(FILES packaging/${KESTRUNE_APP_ID}.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
    # Drawn by kestrune-artwork --icons (see tools/artwork).
    install(DIRECTORY packaging/icons/hicolor DESTINATION ${CMAKE_INSTALL_DATADIR}/icons)
    configure_file(packaging/${KESTRUNE_APP_ID}.metainfo.xml.in
        ${CMAKE_CURRENT_BINARY_DIR}/packaging/${KESTRUNE_APP_ID}.metainfo.xml @ONLY)
    install(FILES ${CMAKE_CURRENT_BINARY_DIR}/packaging/${KESTRUNE_APP_ID}.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
    # CPack strips what install(TARGETS) installs; the renamed program is
    # stripped here, when the install is asked to strip.
    install(CODE "if(CMAKE_INSTALL_DO_STRIP)
        execute_process(COMMAND \"${CMAKE_STRIP}\" \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/kestrune-tuning-utility\")
    endif()")
    set(doc ${CMAKE_INSTALL_DATADIR}/doc/kestrune-tuning-utility)
    install(FILES README.md DESTINATION ${doc})
    # Machine-readable, pointing at the licence text every Debian system has.
    install(FILES packaging/copyright DESTINATION ${doc})

    # The changelog and the manual pages, compressed as Debian expects
    # (gzip -9n: no name or time stamp, so the same sources give the same bytes).
    execute_process(COMMAND date -u -R -d "${KESTRUNE_RELEASE_DATE} 12:00"
        OUTPUT_VARIABLE KESTRUNE_CHANGELOG_DATE OUTPUT_STRIP_TRAILING_WHITESPACE)
    set(packaged ${CMAKE_CURRENT_BINARY_DIR}/packaging)
    function(kestrune_gzip_configured source name)
        configure_file(${source} ${packaged}/${name} @ONLY)
        execute_process(COMMAND gzip -9nc INPUT_FILE ${packaged}/${name} OUTPUT_FILE ${packaged}/${name}.gz
            RESULT_VARIABLE failed)
        if(failed)
            message(FATAL_ERROR "gzip ${name} failed")
        endif()
    endfunction()
    kestrune_gzip_configured(packaging/changelog.in changelog)
    install(FILES ${packaged}/changelog.gz DESTINATION ${doc})
    foreach(page kestrune-tuning-utility kestrune-sim)
        if(page STREQUAL "kestrune-tuning-utility" OR TARGET ${page})
            kestrune_gzip_configured(packaging/man/${page}.1.in ${page}.1)
            install(FILES ${packaged}/${page}.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
        endif()
    endforeach()
endif()

set(CPACK_PACKAGE_NAME "kestrune-tuning-utility")
set(CPACK_PACKAGE_VENDOR "Kestrune")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Calibrates the bass voice of the Kestrune drum machine")
set(CPACK_PACKAGE_DESCRIPTION
    "The Kestrune Tuning Utility calibrates the tuning of the analog bass voice\nof the Kestrune drum machine over USB-MIDI and an audio input, and updates\nthe machine's firmware over MIDI.")
set(CPACK_PACKAGE_CONTACT "Kestrune <support@kestrune.example>" CACHE STRING "Maintainer of the Debian package")
set(CPACK_RESOURCE_FILE_LICENSE ${CMAKE_CURRENT_SOURCE_DIR}/LICENSE)
set(CPACK_STRIP_FILES TRUE)
set(CPACK_GENERATOR "TGZ")

if(CMAKE_SYSTEM_NAME STREQUAL "Linux")
    set(CPACK_GENERATOR "DEB")
    set(CPACK_PACKAGING_INSTALL_PREFIX "/usr")
    set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
    set(CPACK_DEBIAN_PACKAGE_SECTION "sound")
    set(CPACK_DEBIAN_PACKAGE_HOMEPAGE ${KESTRUNE_HOMEPAGE_URL})
    # dpkg-shlibdeps names the libraries the binaries link (ALSA, JACK, FFTW,
    # FreeType, PNG, JPEG, the C++ run-time). JUCE opens the X11 libraries at
    # run time and finds its fonts through fontconfig's configuration file,
    # so those are named here.
    set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
    set(CPACK_DEBIAN_PACKAGE_DEPENDS
        "libx11-6, libxext6, libxrandr2, libxinerama1, libxcursor1, fontconfig-config, fonts-dejavu-core")
    set(CPACK_DEBIAN_PACKAGE_SUGGESTS "jackd2 | pipewire-jack")
endif()

include(CPack)
