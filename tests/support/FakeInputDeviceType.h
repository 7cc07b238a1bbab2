#pragma once

#include "support/FakeInputDevice.h"

// A driver type listing the input devices a test names, all alike; no outputs.
class FakeInputDeviceType : public juce::AudioIODeviceType
{
public:
    FakeInputDeviceType (const juce::String& typeName, juce::StringArray inputNames,
                         FakeInputDevice::Capabilities caps = {})
        : juce::AudioIODeviceType (typeName), names (std::move (inputNames)), capabilities (std::move (caps))
    {
    }

    void scanForDevices() override {}
    juce::StringArray getDeviceNames (bool wantInputNames) const override { return wantInputNames ? names : juce::StringArray(); }
    int getDefaultDeviceIndex (bool forInput) const override { return forInput && ! names.isEmpty() ? 0 : -1; }
    int getIndexOfDevice (juce::AudioIODevice* device, bool asInput) const override
    {
        return device != nullptr && asInput ? names.indexOf (device->getName()) : -1;
    }
    bool hasSeparateInputsAndOutputs() const override { return true; }
    juce::AudioIODevice* createDevice (const juce::String&, const juce::String& inputName) override
    {
        return names.contains (inputName) ? new FakeInputDevice (inputName, getTypeName(), capabilities) : nullptr;
    }

private:
    juce::StringArray names;
    const FakeInputDevice::Capabilities capabilities;
};
