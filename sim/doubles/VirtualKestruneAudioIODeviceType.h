#pragma once

#include "VirtualKestruneAudioIODevice.h"

// The driver type that lists one input device, "Kestrune Synth Output", for
// a juce::AudioDeviceManager:
//
//   manager.addAudioDeviceType (std::make_unique<VirtualKestruneAudioIODeviceType> (machine, &clock));
//   manager.setCurrentAudioDeviceType (VirtualKestruneAudioIODevice::typeName, true);
//   auto* device = dynamic_cast<VirtualKestruneAudioIODevice*> (manager.getCurrentAudioDevice());
class VirtualKestruneAudioIODeviceType : public juce::AudioIODeviceType
{
public:
    explicit VirtualKestruneAudioIODeviceType (std::shared_ptr<VirtualKestrune> machine,
                                               SimulatedClock* clockToAdvance = nullptr);

    void scanForDevices() override {}
    juce::StringArray getDeviceNames (bool wantInputNames) const override;
    int getDefaultDeviceIndex (bool forInput) const override;
    int getIndexOfDevice (juce::AudioIODevice* device, bool asInput) const override;
    bool hasSeparateInputsAndOutputs() const override { return true; }
    juce::AudioIODevice* createDevice (const juce::String& outputDeviceName, const juce::String& inputDeviceName) override;

private:
    std::shared_ptr<VirtualKestrune> machine;
    SimulatedClock* const clock;
};
