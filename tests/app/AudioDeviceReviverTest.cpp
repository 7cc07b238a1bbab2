#include "app/AudioDeviceReviver.h"
#include "ui/TestAudioDeviceManager.h"

#include <gtest/gtest.h>

namespace
{
// Counts what a device manager's callback hears.
struct CountingCallback : juce::AudioIODeviceCallback
{
    void audioDeviceIOCallbackWithContext (const float* const*, int, float* const*, int, int,
                                           const juce::AudioIODeviceCallbackContext&) override
    {
        ++blocks;
    }
    void audioDeviceAboutToStart (juce::AudioIODevice*) override { ++starts; }
    void audioDeviceStopped() override { ++stops; }

    int blocks = 0, starts = 0, stops = 0;
};
} // namespace

// A JACK server that goes away takes the device with it: the device closes
// itself and its driver lists nothing until a server runs again.
TEST (AudioDeviceReviver, ADeviceItsDriverDroppedIsOpenedAgainWithItsSetupOnceListed)
{
    TestAudioDeviceManager audio;
    auto& driver = audio.addTypeAndOpen (std::make_unique<FakeInputDeviceType> ("Fake Driver", juce::StringArray { "Interface" }));
    auto setup = audio.getAudioDeviceSetup();
    setup.useDefaultInputChannels = false;
    setup.inputChannels.clear();
    setup.inputChannels.setBit (1);   // the second input, as chosen in Preferences
    setup.bufferSize = 1024;
    ASSERT_TRUE (audio.setAudioDeviceSetup (setup, true).isEmpty());
    CountingCallback callback;
    audio.addAudioCallback (&callback);
    AudioDeviceReviver reviver (audio);
    EXPECT_FALSE (reviver.check());

    // Closed on purpose by the device manager: left alone.
    audio.closeAudioDevice();
    EXPECT_FALSE (reviver.check());
    EXPECT_EQ (audio.getCurrentAudioDevice(), nullptr);
    audio.restartLastAudioDevice();
    ASSERT_NE (audio.getFakeDevice(), nullptr);

    // Dropped by its driver, which then lists nothing.
    const auto stopsBefore = callback.stops;
    audio.getFakeDevice()->close();
    driver.setDeviceNames ({});
    EXPECT_EQ (callback.stops, stopsBefore + 1);
    for (int i = 0; i < 3; ++i)
        EXPECT_TRUE (reviver.check()) << i;
    EXPECT_EQ (audio.getCurrentAudioDevice(), nullptr);

    // Listed again: opened with the setup it had, and the callback hears it.
    const auto startsBefore = callback.starts;
    driver.setDeviceNames ({ "Interface" });
    EXPECT_FALSE (reviver.check());
    auto* device = audio.getFakeDevice();
    ASSERT_NE (device, nullptr);
    EXPECT_TRUE (device->isOpen());
    EXPECT_EQ (device->getActiveInputChannels(), setup.inputChannels);
    EXPECT_EQ (device->getCurrentBufferSizeSamples(), 1024);
    EXPECT_EQ (callback.starts, startsBefore + 1);
    device->deliver (0.5f, 64);
    EXPECT_EQ (callback.blocks, 1);

    audio.removeAudioCallback (&callback);
}
