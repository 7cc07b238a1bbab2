#pragma once

#include <juce_audio_devices/juce_audio_devices.h>

#include <optional>

// Opens the audio device again after its driver dropped it. JUCE's JACK
// device closes itself for good when its server goes away, and the device
// manager keeps it, closed, for ever; once a server runs again, the device is
// opened anew with the setup it had (input, channels, sample rate and buffer
// size as far as the new server allows), and the device manager's callbacks
// hear it start.
class AudioDeviceReviver : private juce::Timer
{
public:
    static constexpr int checkIntervalMs = 1000;

    explicit AudioDeviceReviver (juce::AudioDeviceManager& manager);
    ~AudioDeviceReviver() override;

    // One look at the device; public so that tests can step it. A device
    // found dropped is let go at once and opened again from the next look on,
    // so that every other client of the lost server has heard of its end
    // before a new one is opened. True while a dropped device waits.
    bool check();

private:
    void timerCallback() override;

    juce::AudioDeviceManager& manager;
    std::optional<juce::AudioDeviceManager::AudioDeviceSetup> lostSetup;
    juce::String lostType;
};
