#pragma once

#include <juce_audio_devices/juce_audio_devices.h>
#include <juce_gui_basics/juce_gui_basics.h>

// A row of five LEDs showing the audio input level of a device manager,
// polled every 50 ms on the message thread.
class AudioLevelMeter : public juce::Component, public juce::Timer
{
public:
    // One LED: lit once the level reaches its threshold.
    class AMeterLED : public juce::Component
    {
    public:
        AMeterLED (const juce::Image& onImage, const juce::Image& offImage, double thresholdDecibels);

        // Linear level, 1.0 being full scale.
        void setLevel (double linearLevel);

        void resized() override;

        bool isLit() const;
        // The picture now shown; invalid until the first level arrives.
        juce::Image getShownImage() const;
        double getThreshold() const { return threshold; }

    private:
        juce::Image onImage;
        juce::Image offImage;
        double threshold;
        juce::ImageComponent imageComponent;

        JUCE_DECLARE_NON_COPYABLE (AMeterLED)
    };

    static constexpr int numLEDs = 5;
    static constexpr int ledSize = 16;
    static constexpr int ledOffsetX = 3;
    static constexpr int pollIntervalMs = 50;

    // The device manager is not owned and must outlive the meter.
    explicit AudioLevelMeter (juce::AudioDeviceManager* deviceManager);
    ~AudioLevelMeter() override;

    void timerCallback() override;

    AMeterLED* getLED (int index) const { return leds[index]; }

private:
    // The device manager's input level; holding it keeps the manager measuring.
    juce::AudioDeviceManager::LevelMeter::Ptr inputLevel;
    juce::OwnedArray<AMeterLED> leds;

    JUCE_DECLARE_NON_COPYABLE (AudioLevelMeter)
};
