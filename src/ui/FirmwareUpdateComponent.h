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
// transfer and ends it when progress stops for half a second; after the last
// slice, shows what it waits for until the engine's verdict arrives.
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
    // How often the wait after the last slice shows how long it has lasted.
    static constexpr int waitDisplayIntervalMs = 1000;

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
        "The Kestrune has not accepted the update: after it, its boot loader or its old firmware answers. It is "
        "waiting for a new one. Press Try Again to send the update once more.";
    static constexpr const char* completeText = "Kestrune firmware has been updated.";
    static constexpr const char* reinstallTitle = "Firmware Already Current";
    static constexpr const char* firmwareBusyMessage =
        "A firmware update is in progress. Wait until it has finished, then press Update Firmware again.";
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
    void firmwareUpdateVerdict (FirmwareTransfer::Verdict verdict) override;

    // During streaming the watchdog (no progress report for 500 ms); after
    // the last slice, the time waited so far.
    void timerCallback() override;

    void firmwareProgressChanged (FirmwareSysexSender* sender, double progress) override;
    void firmwareStatusChanged (FirmwareSysexSender* sender, const juce::String& status) override;

    bool isUpdateInProgress() const { return updateInProgress; }
    // The last slice went out; waiting for the machine to show whether it took it.
    bool isWaitingForVerdict() const { return waitingForVerdict; }
    double getProgress() const { return progress; }
    double getDetectedVersion() const { return detectedVersion.load(); }

    static juce::String versionText (double version);
    // The label while waiting after the last slice, with the time waited.
    static juce::String waitingText (juce::uint32 waitedMs);
    // The label when the machine answers the version it had before.
    static juce::String sameVersionText();
    static juce::String reinstallMessage();

protected:
    // An asynchronous message box without an icon; takes ownership of the callback.
    virtual void showMessageBox (const juce::String& title, const juce::String& message,
                                 juce::ModalComponentManager::Callback* callback);
    // The update was not accepted: "Try Again" or "Cancel".
    virtual void askToTryAgain (std::function<void()> onTryAgain);
    // The machine already runs the latest firmware: install it again, or not.
    virtual void askToReinstall (std::function<void()> onReinstall);

private:
    void updateButtonState();
    void startUpdate();
    // True, after saying why, while the engine is busy with something else.
    bool refusedWhileBusy();
    void endWait();
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
    bool waitingForVerdict = false;
    // The machine answers as before: the button offers to send the image again.
    bool sameVersionAnswered = false;
    // The progress bar reads it by reference on every repaint.
    double progress = 0.0;
    std::atomic<double> detectedVersion { 0.0 };
    // Made on the message thread; copied on the MIDI input thread to post the
    // label update, which then runs only if the component still exists.
    const juce::Component::SafePointer<FirmwareUpdateComponent> safeThis;

    JUCE_DECLARE_NON_COPYABLE (FirmwareUpdateComponent)
};
