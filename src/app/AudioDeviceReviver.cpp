#include "AudioDeviceReviver.h"

AudioDeviceReviver::AudioDeviceReviver (juce::AudioDeviceManager& managerToWatch) : manager (managerToWatch)
{
    startTimer (checkIntervalMs);
}

AudioDeviceReviver::~AudioDeviceReviver()
{
    stopTimer();
}

void AudioDeviceReviver::timerCallback()
{
    check();
}

bool AudioDeviceReviver::check()
{
    if (auto* device = manager.getCurrentAudioDevice())
    {
        if (device->isOpen())
        {
            lostSetup.reset();   // open again, or another one chosen meanwhile
            return false;
        }
        auto setup = manager.getAudioDeviceSetup();
        if (setup.inputChannels.isZero() && setup.outputChannels.isZero())
            return false;   // never meant to be open: nothing was asked of it

        // Dropped by its driver. Let it go now; open a new one next time.
        lostSetup = setup;
        lostType = manager.getCurrentAudioDeviceType();
        manager.closeAudioDevice();
        return true;
    }

    if (! lostSetup.has_value())
        return false;
    if (manager.getCurrentAudioDeviceType() != lostType)
    {
        lostSetup.reset();   // another driver was chosen meanwhile
        return false;
    }

    // A restarted server lists its clients anew.
    if (auto* type = manager.getCurrentDeviceTypeObject())
        type->scanForDevices();
    auto setup = *lostSetup;
    manager.setAudioDeviceSetup (setup, false);
    if (auto* device = manager.getCurrentAudioDevice(); device != nullptr && device->isOpen())
        lostSetup.reset();
    return lostSetup.has_value();
}
