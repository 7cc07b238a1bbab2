#include "EmbeddedData.h"
#include "TestAudioDeviceManager.h"
#include "ui/AudioLevelMeter.h"

#include <gtest/gtest.h>

namespace
{
juce::Image picture (const char* data, int size)
{
    return juce::ImageCache::getFromMemory (data, size);
}

class AudioLevelMeterTest : public ::testing::Test
{
protected:
    AudioLevelMeterTest()
    {
        audio.addTypeAndOpen (std::make_unique<FakeInputDeviceType> ("Fake Driver", juce::StringArray { "Interface" }));
    }

    // The device manager measures this level (a one-sample block: its hold
    // decays within longer blocks), then one meter tick.
    void feed (float level)
    {
        ASSERT_NE (audio.getFakeDevice(), nullptr);
        audio.getFakeDevice()->deliver (level, 1);
        meter.timerCallback();
    }

    std::vector<bool> litLEDs() const
    {
        std::vector<bool> lit;
        for (int i = 0; i < AudioLevelMeter::numLEDs; ++i)
            lit.push_back (meter.getLED (i)->isLit());
        return lit;
    }

    TestAudioDeviceManager audio;
    AudioLevelMeter meter { &audio };

    const juce::Image off = picture (EmbeddedData::ledOff, EmbeddedData::ledOffSize);
    const juce::Image red = picture (EmbeddedData::ledRed, EmbeddedData::ledRedSize);
    const juce::Image green = picture (EmbeddedData::ledGreen, EmbeddedData::ledGreenSize);
    const juce::Image yellow = picture (EmbeddedData::ledYellow, EmbeddedData::ledYellowSize);
};
} // namespace

TEST_F (AudioLevelMeterTest, SilenceLightsNothing)
{
    feed (0.0f);
    EXPECT_EQ (litLEDs(), (std::vector<bool> { false, false, false, false, false }));
    for (int i = 0; i < AudioLevelMeter::numLEDs; ++i)
        EXPECT_TRUE (meter.getLED (i)->getShownImage() == off) << "LED " << i;
}

TEST_F (AudioLevelMeterTest, LevelPointThreeLightsTheRedAndTheFirstGreenLed)
{
    feed (0.3f); // about -10.5 dB
    EXPECT_EQ (litLEDs(), (std::vector<bool> { true, true, false, false, false }));
    EXPECT_TRUE (meter.getLED (0)->getShownImage() == red);
    EXPECT_TRUE (meter.getLED (1)->getShownImage() == green);
    EXPECT_TRUE (meter.getLED (2)->getShownImage() == off);
}

TEST_F (AudioLevelMeterTest, FullScaleLightsAllFiveAndTheLastTwoAreYellow)
{
    feed (1.0f);
    EXPECT_EQ (litLEDs(), (std::vector<bool> { true, true, true, true, true }));
    EXPECT_TRUE (meter.getLED (2)->getShownImage() == green);
    EXPECT_TRUE (meter.getLED (3)->getShownImage() == yellow);
    EXPECT_TRUE (meter.getLED (4)->getShownImage() == yellow);
}

TEST (AudioLevelMeterLED, ThresholdIsInclusiveAndSilenceIsBelowEveryThreshold)
{
    const auto on = juce::Image (juce::Image::ARGB, 16, 16, true);
    const auto off = juce::Image (juce::Image::ARGB, 16, 16, true);
    AudioLevelMeter::AMeterLED zeroDb (on, off, 0.0);
    zeroDb.setLevel (1.0);
    EXPECT_TRUE (zeroDb.isLit());
    zeroDb.setLevel (0.999);
    EXPECT_FALSE (zeroDb.isLit());

    AudioLevelMeter::AMeterLED lowest (on, off, -24.0);
    lowest.setLevel (0.0630);
    EXPECT_FALSE (lowest.isLit()); // -24.01 dB
    lowest.setLevel (0.0631);
    EXPECT_TRUE (lowest.isLit()); // -23.9994 dB
    lowest.setLevel (0.0);
    EXPECT_FALSE (lowest.isLit());
    EXPECT_TRUE (lowest.getShownImage() == off);
}

TEST (AudioLevelMeterWithoutDevice, StaysDarkWhenNoDeviceIsOpen)
{
    TestAudioDeviceManager audio; // no driver, nothing open
    AudioLevelMeter meter (&audio);
    meter.timerCallback();
    for (int i = 0; i < AudioLevelMeter::numLEDs; ++i)
        EXPECT_FALSE (meter.getLED (i)->isLit());
}
