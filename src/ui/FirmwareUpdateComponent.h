#pragma once

#include "firmware/FirmwareSysexSender.h"
#include "look/CustomLook.h"
#include "midi/DeviceMessages.h"
#include "tuning/TuneKestruneEngine.h"

#include <juce_gui_basics/juce_gui_basics.h>

#include <atomic>
#include <memory>

// Content of the firmware update window: current and latest version, the
// UPDATE FIRMWARE button and the transfer's progress. Watches a running
// transfer and ends it when progress stops for half a second.
class FirmwareUpdateComponent : public juce::Component,
                                public FirmwareSysexSender::Listener,
                                public juce::Button::Listener,
                                public TuneKestruneEngine::StatusListener,
                                public juce::Timer
{
public:
    // Closes the window holding the component once the completion box is dismissed.
    class AlertWindowCallback : public juce::ModalComponentManager::Callback
    {
    public:
        explicit AlertWindowCallback (FirmwareUpdateComponent* component);
        void modalStateFinished (int returnValue) override;

    private:
        // The window may be closed while the box is still up.
        juce::Component::SafePointer<FirmwareUpdateComponent> component;
    };

    static constexpr int watchdogIntervalMs = 500;
    // How long the machine has, after the last slice, to report the new version.
    static constexpr int confirmTimeoutMs = 30000;

    static constexpr const char* completeTitle = "Firmware Update Complete";
    static constexpr const char* completeMessage =
        "Kestrune firmware has been updated. Press the Play button on the Kestrune to reset the device with the new "
        "firmware.";
    static constexpr const char* timedOutTitle = "Firmware Update Timed Out";
    static constexpr const char* timedOutMessage = "Kestrune Firmware Update has been timed out. Verify MIDI Settings.";
    static constexpr const char* notStartedTitle = "Firmware Update Not Started";
    static constexpr const char* notStartedMessage =
        "Kestrune Firmware Update could not be started. Exactly one MIDI output must be selected: Verify MIDI "
        "Settings, then press Update Firmware again.";
    static constexpr const char* updateInformationText =
        "To use the Kestrune Tuning Utility, you will first need to update to the latest version of the firmware.";
    static constexpr const char* notAcceptedTitle = "Firmware Update Not Accepted";
    static constexpr const char* notAcceptedMessage =
        "The Kestrune did not report the new firmware within 30 seconds: it has not accepted the update. It is "
        "waiting for a new one. Press Try Again to send the update once more.";
    static constexpr const char* confirmingText =
        "Waiting for the Kestrune to report its new firmware. If it does not restart by itself, press the Play "
        "button on the Kestrune.";
    static constexpr const char* calibratingMessage =
        "A tuning calibration is in progress. Stop it, then press Update Firmware again.";
    static constexpr const char* checkingMessage =
        "A tuning check is in progress. Stop it, then press Update Firmware again.";
    static constexpr const char* writingMessage =
        "A calibration is being written to the Kestrune. Wait until it has been stored, then press Update "
        "Firmware again.";

    explicit FirmwareUpdateComponent (TuneKestruneEngine::Ptr engine);
    ~FirmwareUpdateComponent() override;

    void buttonClicked (juce::Button* button) override;

    void frequencyDetected (float hz) override;
    void tuningNoteChanged (int note) override;
    void tuningStarted() override;
    void tuningStopped() override;
    void tuningFailed() override;
    // MIDI input thread: the label is updated later, on the message thread.
    void firmwareVersionReceived (double version) override;
    void tuningProgressChanged (double progress) override;

    // The watchdog: no progress report for 500 ms during streaming; after the
    // last slice, no report of the new version within 30 s.
    void timerCallback() override;

    void firmwareProgressChanged (FirmwareSysexSender* sender, double progress) override;
    void firmwareStatusChanged (FirmwareSysexSender* sender, const juce::String& status) override;

    bool isUpdateInProgress() const { return updateInProgress; }
    // The last slice went out; waiting for the machine to report the new version.
    bool isConfirming() const { return confirming; }
    double getProgress() const { return progress; }
    double getDetectedVersion() const { return detectedVersion.load(); }

    static juce::String versionText (double version);

protected:
    // An asynchronous message box without an icon; takes ownership of the callback.
    virtual void showMessageBox (const juce::String& title, const juce::String& message,
                                 juce::ModalComponentManager::Callback* callback);
    // The update was not accepted: "Try Again" or "Cancel".
    virtual void askToTryAgain (std::function<void()> onTryAgain);

private:
    void updateButtonState();
    void startUpdate();
    void confirmed();
    void showDetectedVersion (double version);

    // Declared first so that it outlives every child that draws with it.
    CustomLook customLook;

    std::unique_ptr<juce::ImageComponent> background;
    std::unique_ptr<juce::ProgressBar> progressBar;
    std::unique_ptr<juce::Label> updateInformationLabel;
    std::unique_ptr<juce::Label> currentVersionLabel;
    std::unique_ptr<juce::Label> latestVersionLabel;
    std::unique_ptr<juce::ImageButton> updateButton;
    TuneKestruneEngine::Ptr tuneEngine;
    bool updateInProgress = false;
    bool tuningInProgress = false;
    bool confirming = false;
    // The progress bar reads it by reference on every repaint.
    double progress = 0.0;
    std::atomic<double> detectedVersion { 0.0 };
    // Made on the message thread; copied on the MIDI input thread to post the
    // label update, which then runs only if the component still exists.
    const juce::Component::SafePointer<FirmwareUpdateComponent> safeThis;

    JUCE_DECLARE_NON_COPYABLE (FirmwareUpdateComponent)
};
