#include "FirmwareImageBuilder.h"
#include "StandInFirmware.h"

#include <fstream>
#include <iostream>

// Writes the firmware image to the file named on the command line.
int main (int argc, char** argv)
{
    if (argc != 2)
    {
        std::cerr << "usage: kestrune-firmware-image <output file>\n";
        return 2;
    }

    const auto image = FirmwareImageBuilder::build (StandInFirmware::create(), StandInFirmware::loadAddress);

    // The utility streams exactly this many bytes; a different size means the
    // layout changed and the utility must change with it.
    constexpr std::size_t expectedSize = 113134;
    if (image.size() != expectedSize)
    {
        std::cerr << "image is " << image.size() << " bytes, expected " << expectedSize << "\n";
        return 1;
    }

    std::ofstream out (argv[1], std::ios::binary | std::ios::trunc);
    out.write (reinterpret_cast<const char*> (image.data()), (std::streamsize) image.size());
    out.close();
    if (! out)
    {
        std::cerr << "cannot write " << argv[1] << "\n";
        return 1;
    }

    std::cout << "wrote " << image.size() << " bytes to " << argv[1] << "\n";
    return 0;
}
