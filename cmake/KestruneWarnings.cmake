# Warnings are errors in our own code; JUCE's sources are compiled in
# kestrune_juce without these flags. Debug builds of our code also check
# every index into a standard container: an index one past a std::array
# inside an object is out of AddressSanitizer's sight.
function(kestrune_warnings target)
    target_compile_definitions(${target} PRIVATE $<$<CONFIG:Debug>:_GLIBCXX_ASSERTIONS>)
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
