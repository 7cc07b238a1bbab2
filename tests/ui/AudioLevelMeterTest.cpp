#include "EmbeddedData.h"
#include "support/TestAudioDeviceManager.h"
#include "ui/AudioLevelMeter.h"

#include <gtest/gtest.h>

TEST (AudioLevelMeter, LevelLightsTheLedsFromTheLeftInTheirColours)
{
    TestAudioDeviceManager audio;
    audio.addTypeAndOpen (std::make_unique<FakeInputDeviceType> ("Fake Driver", juce::StringArray { "Interface" }));
    AudioLevelMeter meter (&audio);
    auto picture = [] (const char* data, int size) { return juce::ImageCache::getFromMemory (data, size); };
    const auto o = picture (EmbeddedData::ledOff, EmbeddedData::ledOffSize);
    const auto r = picture (EmbeddedData::ledRed, EmbeddedData::ledRedSize);
    const auto g = picture (EmbeddedData::ledGreen, EmbeddedData::ledGreenSize);
    const auto y = picture (EmbeddedData::ledYellow, EmbeddedData::ledYellowSize);

    // 0.3 is about -10.5 dB. A one-sample block: the device manager's hold
    // decays within longer ones.
    const std::pair<float, std::vector<juce::Image>> cases[] = {
        { 0.0f, { o, o, o, o, o } }, { 0.3f, { r, g, o, o, o } }, { 1.0f, { r, g, g, y, y } }
    };
    for (auto& [level, shown] : cases)
    {
        audio.getFakeDevice()->deliver (level, 1);
        meter.timerCallback();
        for (int i = 0; i < AudioLevelMeter::numLEDs; ++i)
            EXPECT_TRUE (meter.getLED (i)->getShownImage() == shown[(size_t) i]) << level << " LED " << i;
    }
}
