#pragma once

#include "MidiPortSystem.h"

// The platform's MIDI ports as JUCE reaches them (ALSA on Linux, CoreMIDI and
// WinMM elsewhere). On Linux outputs are written through our own ALSA
// sequencer output, which passes SysEx split over several messages intact.
class JuceMidiPortSystem : public MidiPortSystem
{
public:
    juce::StringArray getInputNames() override;
    juce::StringArray getOutputNames() override;
    std::unique_ptr<MidiInputPort> openInput (int index, MidiInputPortCallback* callback) override;
    std::unique_ptr<MidiOutputPort> openOutput (int index) override;
};
