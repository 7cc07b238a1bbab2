#include "AudioLevelMeter.h"

#include "EmbeddedData.h"

#include <cmath>

namespace
{
juce::Image embeddedImage (const char* data, int size)
{
    return juce::ImageCache::getFromMemory (data, size);
}
} // namespace

//==============================================================================
AudioLevelMeter::AMeterLED::AMeterLED (const juce::Image& on, const juce::Image& off, double thresholdDecibels)
    : onImage (on), offImage (off), threshold (thresholdDecibels)
{
    imageComponent.setInterceptsMouseClicks (false, false);
    addAndMakeVisible (imageComponent);
}

void AudioLevelMeter::AMeterLED::setLevel (double linearLevel)
{
    // Silence (and anything not positive) is below every threshold.
    const bool lit = linearLevel > 0.0 && 20.0 * std::log10 (linearLevel) >= threshold;
    // The image component repaints only when the picture actually changes.
    imageComponent.setImage (lit ? onImage : offImage);
}

void AudioLevelMeter::AMeterLED::resized()
{
    imageComponent.setBounds (getLocalBounds());
}

bool AudioLevelMeter::AMeterLED::isLit() const
{
    return imageComponent.getImage().isValid() && imageComponent.getImage() == onImage;
}

juce::Image AudioLevelMeter::AMeterLED::getShownImage() const
{
    return imageComponent.getImage();
}

//==============================================================================
AudioLevelMeter::AudioLevelMeter (juce::AudioDeviceManager* deviceManager)
    : inputLevel (deviceManager != nullptr ? deviceManager->getInputLevelGetter() : nullptr)
{
    const auto off = embeddedImage (EmbeddedData::ledOff, EmbeddedData::ledOffSize);
    const auto green = embeddedImage (EmbeddedData::ledGreen, EmbeddedData::ledGreenSize);
    const auto yellow = embeddedImage (EmbeddedData::ledYellow, EmbeddedData::ledYellowSize);
    const auto red = embeddedImage (EmbeddedData::ledRed, EmbeddedData::ledRedSize);

    struct Row
    {
        double threshold;
        juce::Image lit;
    };
    const Row rows[numLEDs] = { { -24.0, red }, { -12.0, green }, { -6.0, green }, { -3.0, yellow }, { 0.0, yellow } };

    for (int i = 0; i < numLEDs; ++i)
    {
        auto* led = leds.add (new AMeterLED (rows[i].lit, off, rows[i].threshold));
        led->setBounds (ledOffsetX + i * ledSize, 0, ledSize, ledSize);
        addAndMakeVisible (led);
    }

    setSize ((ledSize + ledOffsetX) * numLEDs, ledSize);
    startTimer (pollIntervalMs);
}

AudioLevelMeter::~AudioLevelMeter()
{
    stopTimer();
}

void AudioLevelMeter::timerCallback()
{
    const double level = inputLevel != nullptr ? inputLevel->getCurrentLevel() : 0.0;
    for (auto* led : leds)
        led->setLevel (level);
}
