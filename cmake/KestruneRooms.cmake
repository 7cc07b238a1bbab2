# Each folder of src/ (a room) is its own static library kestrune_<room>.
# Files include other rooms as "<room>/File.h". A shared include root src/
# would let any file reach any room, so each room gets an include root of its
# own under the build folder that holds a single link, <room> -> src/<room>,
# and hands it to its users with its library. A file then reaches only its
# own room and the rooms its library links: an include of a room above it
# fails to compile.
set(KESTRUNE_ROOMS_DIR ${CMAKE_BINARY_DIR}/rooms)

# Gives target the include root ${KESTRUNE_ROOMS_DIR}/<name> holding only
# <name> -> folder, for itself and for everything that links it.
function(kestrune_include_root target name folder)
    set(root ${KESTRUNE_ROOMS_DIR}/${name})
    file(MAKE_DIRECTORY ${root})
    file(CREATE_LINK ${folder} ${root}/${name} SYMBOLIC)
    target_include_directories(${target} PUBLIC ${root})
endfunction()

# Adds the library kestrune_<room> from src/<room>. Declare the rooms it uses
# with target_link_libraries afterwards.
function(kestrune_room room)
    set(folder ${CMAKE_SOURCE_DIR}/src/${room})
    file(GLOB_RECURSE sources CONFIGURE_DEPENDS ${folder}/*.cpp ${folder}/*.h)
    # main() is the executable's alone.
    list(FILTER sources EXCLUDE REGEX "/src/app/Main\\.cpp$")
    if(NOT TARGET PkgConfig::ALSA)
        list(FILTER sources EXCLUDE REGEX "/Alsa[^/]*$")
    endif()
    if(NOT KESTRUNE_WITH_JACK)
        # The two classes that talk to a JACK server; the rest builds anywhere.
        list(FILTER sources EXCLUDE REGEX "/src/midi/(JackMidiClient|JackMidiPortSystem)\\.(cpp|h)$")
    endif()
    add_library(kestrune_${room} STATIC ${sources})
    kestrune_include_root(kestrune_${room} ${room} ${folder})
    kestrune_warnings(kestrune_${room})
endfunction()
