#pragma once

#include "MidiPortSystem.h"

#include <vector>

// Several port systems listed as one: the inputs of the first, then those of
// the second, and so on. An index is resolved against a fresh list.
class CombinedMidiPortSystem : public MidiPortSystem
{
public:
    explicit CombinedMidiPortSystem (std::vector<std::shared_ptr<MidiPortSystem>> systems);

    // JUCE's ports, then JACK's where the build has JACK.
    static std::shared_ptr<MidiPortSystem> createDefault();

    juce::StringArray getInputNames() override;
    juce::StringArray getOutputNames() override;
    std::unique_ptr<MidiInputPort> openInput (int index, MidiInputPortCallback* callback) override;
    std::unique_ptr<MidiOutputPort> openOutput (int index) override;

private:
    std::vector<std::shared_ptr<MidiPortSystem>> systems;
};
