#pragma once

#include "FakeInputDeviceType.h"

// A device manager that never looks for the system's drivers: it knows only
// the fake driver types a test adds, or none at all.
class TestAudioDeviceManager : public juce::AudioDeviceManager
{
public:
    // Opens the driver's first device with one input, as the application does at start-up.
    void addTypeAndOpen (std::unique_ptr<FakeInputDeviceType> type)
    {
        addAudioDeviceType (std::move (type));
        initialise (1, 0, nullptr, true);
    }
    FakeInputDevice* getFakeDevice() const { return dynamic_cast<FakeInputDevice*> (getCurrentAudioDevice()); }
    void createAudioDeviceTypes (juce::OwnedArray<juce::AudioIODeviceType>&) override {}
};
