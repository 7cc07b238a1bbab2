#pragma once

#include "look/CustomLook.h"
#include "tuning/TuneKestruneEngine.h"
#include "ui/ProgressDisplayWithBackground.h"

#include <juce_gui_basics/juce_gui_basics.h>

#include <atomic>
#include <functional>


// The main window's content: instructions, the machine's firmware version, the
// start and stop buttons and the progress of a calibration. Shows the engine's
// status and, with a one-second watchdog, notices when measurements stop
// arriving during a calibration.
class MainWindowComponent : public juce::Component,
                            public TuneKestruneEngine::StatusListener,
                            public juce::Button::Listener,
                            public juce::Timer,
                            private juce::AsyncUpdater
{
public:
    static constexpr int watchdogIntervalMs = 1000;
    static constexpr const char* checkingMessage =
        "A tuning check is in progress. Stop it, then click Calibrate Tuning again.";
    static constexpr const char* firmwareMessage =
        "A firmware update is in progress. Wait until the firmware update window says it has finished, then click "
        "Calibrate Tuning again.";

    MainWindowComponent (TuneKestruneEngine::Ptr engine, juce::ApplicationCommandManager* commandManager);
    ~MainWindowComponent() override;

    // Opens the knob step's window unless it is open; set by the window that
    // owns it. The start button calls it once the engine has started.
    std::function<void()> showKnobCalibrationWindow;

    void resized() override;
    void buttonClicked (juce::Button* button) override;

    // All but firmwareVersionReceived arrive on the message thread.
    void frequencyDetected (float hz) override;
    void tuningNoteChanged (int note) override;
    void tuningStarted() override;
    void tuningStopped() override;
    void tuningFailed() override;
    // Arrives on the MIDI input thread: the label is updated later, on the
    // message thread, with the latest version received.
    void firmwareVersionReceived (double version) override;
    void tuningProgressChanged (double progress) override;
    void calibrationWriteFinished (const TuneKestruneEngine::CalibrationWriteOutcome& outcome) override;

    // Quit waits for the machine to confirm its stored calibration; the
    // window says so instead of offering to start.
    static constexpr const char* quitWaitText = "Restoring the Kestrune's stored calibration before quitting...";
    void showQuitWait();

    // The watchdog: no measurement for a second.
    void timerCallback() override;

    static const juce::String& getInstructionsText();

protected:
    // Asynchronous: returns without waiting for the user.
    virtual void showMessageBox (juce::MessageBoxIconType icon, const juce::String& title,
                                 const juce::String& message, const juce::String& buttonText);

private:
    void handleAsyncUpdate() override;
    void showFailure();
    void returnToIdle();

    // Declared first so that it outlives every child that draws with it.
    CustomLook customLook;

    juce::Label titleLabel;
    juce::Label instructionsLabel;
    juce::Label firmwareVersionLabel;
    juce::Label tuningLabel;
    bool runStarted = false;   // tuningStarted seen since the window was last idle
    juce::ImageComponent backgroundImage;
    juce::ImageButton startButton;
    juce::ImageButton abortButton;
    ProgressDisplayWithBackground progressDisplay;
    TuneKestruneEngine::Ptr tuneEngine;
    juce::ApplicationCommandManager* commandManager;

    std::atomic<double> latestFirmwareVersion { 0.0 };

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (MainWindowComponent)
};
