# Warnings are errors in our own code; JUCE's sources are compiled in
# kestrune_juce without these flags.
function(kestrune_warnings target)
    if(MSVC)
        target_compile_options(${target} PRIVATE /W4 /WX /permissive-)
        return()
    endif()
    target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Werror
        -Wno-missing-field-initializers)
    if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND CMAKE_CXX_COMPILER_VERSION VERSION_GREATER_EQUAL 12)
        # GCC 12 misreads juce::ListenerList's iterator bookkeeping as a
        # dangling pointer in optimised builds.
        target_compile_options(${target} PRIVATE -Wno-dangling-pointer)
    endif()
endfunction()
