#pragma once

#include "tuning/TuneKestruneEngine.h"

#include <juce_gui_basics/juce_gui_basics.h>

// The knob step: shows which way to turn the machine's Tune knob until the
// reference note sounds between 20 Hz and the pitch of MIDI note 24, and
// enables Continue only then. Continue begins the tuning run and closes the
// window that holds this component. Leaving the step any other way (the
// window's close box, STOP, the machine going away) ends the calibration,
// and the window closes with it.
class TuneKnobCalibrationComponent : public juce::Component,
                                     public TuneKestruneEngine::StatusListener,
                                     public juce::Button::Listener
{
public:
    static constexpr double lowestFrequency = 20.0;

    explicit TuneKnobCalibrationComponent (TuneKestruneEngine::Ptr engine);
    ~TuneKnobCalibrationComponent() override;

    void resized() override;
    void buttonClicked (juce::Button* button) override;

    void frequencyDetected (float hz) override;
    void tuningNoteChanged (int) override {}
    void tuningStarted() override {}
    void tuningStopped() override;
    void tuningFailed() override {}
    void tuningProgressChanged (double) override {}
    void firmwareVersionReceived (double) override {}

    // The window is being closed by the user: the knob step ends, so the
    // reference note stops and the machine gets its stored values back.
    void windowClosing();

    static constexpr const char* refusedTitle = "Unable to Perform Tuning Calibration";
    static constexpr const char* refusedMessage =
        "The tuning run could not begin. Verify Audio/MIDI Settings, then click Calibrate Tuning again.";

    static const juce::String& getInstructionText();
    // The pitch of the first calibrated note, the one the knob step sounds, with A at 440 Hz.
    static double getHighestFrequency();

protected:
    // Asynchronous: returns without waiting for the user.
    virtual void showMessageBox (const juce::String& title, const juce::String& message);

private:
    void closeWindow();

    juce::ImageComponent background;
    juce::ImageComponent clockwiseArrow;
    juce::ImageComponent counterClockwiseArrow;
    juce::ImageComponent head;
    juce::ImageButton continueButton;
    juce::Label infoLabel;
    TuneKestruneEngine::Ptr tuneEngine;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (TuneKnobCalibrationComponent)
};
