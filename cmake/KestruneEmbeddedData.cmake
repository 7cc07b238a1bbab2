# Every file in src/resources is embedded in the namespace EmbeddedData under
# its name without extension (mainBackground.png -> EmbeddedData::mainBackground
# and EmbeddedData::mainBackgroundSize). The files are copied without extension
# because the binary data generator derives identifiers from the whole file name.
file(GLOB KESTRUNE_RESOURCE_FILES CONFIGURE_DEPENDS
    ${CMAKE_CURRENT_SOURCE_DIR}/src/resources/*.png
    ${CMAKE_CURRENT_SOURCE_DIR}/src/resources/*.bin)
set(KESTRUNE_EMBEDDED_COPIES "")
foreach(file ${KESTRUNE_RESOURCE_FILES})
    get_filename_component(stem ${file} NAME_WE)
    set(copy ${CMAKE_CURRENT_BINARY_DIR}/embedded/${stem})
    configure_file(${file} ${copy} COPYONLY)
    list(APPEND KESTRUNE_EMBEDDED_COPIES ${copy})
endforeach()
if(NOT KESTRUNE_EMBEDDED_COPIES)
    set(placeholder ${CMAKE_CURRENT_BINARY_DIR}/embedded/emptyPlaceholder)
    file(WRITE ${placeholder} "")
    list(APPEND KESTRUNE_EMBEDDED_COPIES ${placeholder})
endif()
juce_add_binary_data(kestrune_embedded_data
    HEADER_NAME EmbeddedData.h
    NAMESPACE EmbeddedData
    SOURCES ${KESTRUNE_EMBEDDED_COPIES})
set_target_properties(kestrune_embedded_data PROPERTIES POSITION_INDEPENDENT_CODE ON)
