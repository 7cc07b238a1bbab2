// Prints the MIDI ports the utility would see, one per line as "in NAME" or
// "out NAME": scripts/run uses it to decide whether a machine is connected.
#include "midi/CombinedMidiPortSystem.h"

#include <iostream>

int main()
{
    auto ports = CombinedMidiPortSystem::createDefault();
    for (const auto& name : ports->getInputNames())
        std::cout << "in " << name << "\n";
    for (const auto& name : ports->getOutputNames())
        std::cout << "out " << name << "\n";
    return 0;
}
