#include "VirtualKestruneAudioIODeviceType.h"

VirtualKestruneAudioIODeviceType::VirtualKestruneAudioIODeviceType (std::shared_ptr<VirtualKestrune> machineToRender,
                                                                    SimulatedClock* clockToAdvance)
    : juce::AudioIODeviceType (VirtualKestruneAudioIODevice::typeName),
      machine (std::move (machineToRender)),
      clock (clockToAdvance)
{
}

juce::StringArray VirtualKestruneAudioIODeviceType::getDeviceNames (bool wantInputNames) const
{
    // An input only: the machine's Synth Output.
    return wantInputNames ? juce::StringArray (VirtualKestruneAudioIODevice::deviceName) : juce::StringArray();
}

int VirtualKestruneAudioIODeviceType::getDefaultDeviceIndex (bool forInput) const
{
    return forInput ? 0 : -1;
}

int VirtualKestruneAudioIODeviceType::getIndexOfDevice (juce::AudioIODevice* device, bool asInput) const
{
    return asInput && dynamic_cast<VirtualKestruneAudioIODevice*> (device) != nullptr ? 0 : -1;
}

juce::AudioIODevice* VirtualKestruneAudioIODeviceType::createDevice (const juce::String&, const juce::String& inputDeviceName)
{
    if (inputDeviceName != VirtualKestruneAudioIODevice::deviceName)
        return nullptr;
    return new VirtualKestruneAudioIODevice (machine, clock);
}
