#pragma once

#include <juce_core/juce_core.h>

#include <string>
#include <vector>

// Builds firmware images of the machine's image layout for tests: the update
// request, the 12-byte header, one data message of Intel HEX text.
class FirmwareImageBuilder
{
public:
    // The text: an extended linear address record, numDataRecords data records
    // of 16 bytes, the end-of-file record; a line feed after each.
    static std::string hexText (int numDataRecords);

    // Wraps the text into a whole image with a matching header.
    static std::vector<juce::uint8> image (const std::string& text);

    // The full-size image: 2,570 data records, 113,134 bytes.
    static std::vector<juce::uint8> fullSizeImage() { return image (hexText (2570)); }

    // Offset in an image of the first character of record n (0-based) of its text.
    static size_t recordOffset (const std::vector<juce::uint8>& image, int record);
};
