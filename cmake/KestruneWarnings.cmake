# Warnings are errors in our own code; JUCE's sources are compiled in
# kestrune_juce without these flags.
function(kestrune_warnings target)
    target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Werror
        -Wno-missing-field-initializers)
endfunction()
