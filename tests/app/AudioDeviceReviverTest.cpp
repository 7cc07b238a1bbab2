#include "app/AudioDeviceReviver.h"
#include "ui/TestAudioDeviceManager.h"

#include <gtest/gtest.h>

// A JACK server that goes away takes the device with it: the device closes
// itself and its driver lists nothing until a server runs again.
TEST (AudioDeviceReviver, ADeviceItsDriverDroppedIsOpenedAgainWithItsSetupOnceListed)
{
    struct CountingCallback : juce::AudioIODeviceCallback
    {
        void audioDeviceIOCallbackWithContext (const float* const*, int, float* const*, int, int,
                                               const juce::AudioIODeviceCallbackContext&) override { ++blocks; }
        void audioDeviceAboutToStart (juce::AudioIODevice*) override {}
        void audioDeviceStopped() override {}
        int blocks = 0;
    } callback;

    TestAudioDeviceManager audio;
    auto& driver = audio.addTypeAndOpen (std::make_unique<FakeInputDeviceType> ("Fake Driver", juce::StringArray { "Interface" }));
    auto setup = audio.getAudioDeviceSetup();
    setup.useDefaultInputChannels = false;
    setup.inputChannels.clear();
    setup.inputChannels.setBit (1); // the second input, as chosen in Preferences
    setup.bufferSize = 1024;
    ASSERT_TRUE (audio.setAudioDeviceSetup (setup, true).isEmpty());
    audio.addAudioCallback (&callback);
    AudioDeviceReviver reviver (audio);
    EXPECT_FALSE (reviver.check());

    // Closed on purpose by the device manager: left alone.
    audio.closeAudioDevice();
    EXPECT_FALSE (reviver.check());
    EXPECT_EQ (audio.getCurrentAudioDevice(), nullptr);
    audio.restartLastAudioDevice();

    // Dropped by its driver, which then lists nothing.
    audio.getFakeDevice()->close();
    driver.setDeviceNames ({});
    for (int i = 0; i < 3; ++i)
        EXPECT_TRUE (reviver.check()) << i;
    EXPECT_EQ (audio.getCurrentAudioDevice(), nullptr);

    // Listed again: opened with the setup it had, and the callback hears it.
    driver.setDeviceNames ({ "Interface" });
    EXPECT_FALSE (reviver.check());
    auto* device = audio.getFakeDevice();
    ASSERT_TRUE (device != nullptr && device->isOpen());
    EXPECT_EQ (device->getActiveInputChannels(), setup.inputChannels);
    EXPECT_EQ (device->getCurrentBufferSizeSamples(), 1024);
    device->deliver (0.5f, 64);
    EXPECT_EQ (callback.blocks, 1);
    audio.removeAudioCallback (&callback);
}
