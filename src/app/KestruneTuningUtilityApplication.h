#pragma once

#include "midi/MidiManager.h"
#include "tuning/TuneKestruneEngine.h"

#include <juce_gui_basics/juce_gui_basics.h>

class MainWindow;
class MainMenuModel;
class PreferencesWindow;
class FirmwareUpdateWindow;
class AboutWindow;
class TuningCheckWindow;

class KestruneTuningUtilityApplication : public juce::JUCEApplication,
                                         public TuneKestruneEngine::StatusListener
{
public:
    // Opens the firmware update window on the message thread; several triggers
    // before it runs open one window.
    class LaunchFirmwareUpdateOnMessageThread : public juce::AsyncUpdater
    {
    public:
        explicit LaunchFirmwareUpdateOnMessageThread (KestruneTuningUtilityApplication& owner);
        ~LaunchFirmwareUpdateOnMessageThread() override;
        void handleAsyncUpdate() override;

    private:
        KestruneTuningUtilityApplication& application;
    };

    static constexpr const char* undoNotStoredTitle = "Calibration Not Stored";
    static constexpr const char* undoNotStoredMessage =
        "The values read back from the Kestrune were written to it again, but not stored: the value of the "
        "reference note (MIDI note 24) was not read back, and storing now would keep the value the calibration "
        "gave it. The Kestrune keeps its stored calibration until it is switched off; run a calibration again or "
        "restore the default calibration.";
    static constexpr const char* restoreNotStoredTitle = "Default Calibration Not Stored";
    static constexpr const char* restoreNotStoredMessage =
        "The default calibration could not be sent to the Kestrune, so nothing was stored. Verify MIDI Settings.";
    static constexpr const char* checkRefusedTitle = "Unable to Check Tuning";
    static constexpr const char* checkRefusedMessage =
        "A calibration or a firmware update is in progress. Check the tuning once it has ended.";

    KestruneTuningUtilityApplication();
    ~KestruneTuningUtilityApplication() override;

    static KestruneTuningUtilityApplication* getInstance();

    const juce::String getApplicationName() override;
    const juce::String getApplicationVersion() override;
    bool moreThanOneInstanceAllowed() override;
    void initialise (const juce::String& commandLine) override;
    void shutdown() override;
    void anotherInstanceStarted (const juce::String& commandLine) override;
    void systemRequestedQuit() override;

    void getAllCommands (juce::Array<juce::CommandID>& commands) override;
    void getCommandInfo (juce::CommandID commandID, juce::ApplicationCommandInfo& result) override;
    bool perform (const InvocationInfo& info) override;

    void frequencyDetected (float hz) override;
    void tuningNoteChanged (int note) override;
    void tuningStarted() override;
    void tuningStopped() override;
    void tuningFailed() override;
    void tuningProgressChanged (double progress) override;
    void firmwareVersionReceived (double version) override;

    void launchFirmwareUpdate();
    void showAboutWindow();
    void showPreferencesWindow();
    void writeCalibrationToFile();
    void bringMainWindowToFront();
    // Opens the tuning check window, or brings it forward, and starts a check
    // in it unless one runs there.
    void showTuningCheckWindow();
    bool canRestoreDefaultCalibration() const;

    bool isTuningInProcess() const { return tuningInProcess; }

    // The names the machine's MIDI ports have, tried in this order.
    static juce::StringArray getDefaultPortNames();

    TuneKestruneEngine::Ptr tuneEngine;
    MidiManager::Ptr midiManager;
    juce::PopupMenu extraAppleMenuItems;
    std::unique_ptr<juce::AudioDeviceManager> audioDeviceManager;
    std::unique_ptr<MainWindow> mainWindow;
    std::unique_ptr<juce::ApplicationCommandManager> commandManager;
    std::unique_ptr<MainMenuModel> mainMenuModel;
    juce::WeakReference<PreferencesWindow> preferencesWindow;
    juce::WeakReference<FirmwareUpdateWindow> firmwareUpdateWindow;
    juce::WeakReference<AboutWindow> aboutWindow;
    juce::WeakReference<TuningCheckWindow> tuningCheckWindow;
    std::unique_ptr<LaunchFirmwareUpdateOnMessageThread> launchFirmwareUpdateOnMessageThread;

protected:
    // An asynchronous warning box; tests record it instead.
    virtual void showMessageBox (const juce::String& title, const juce::String& message);
    // Ends the message loop; tests record it instead.
    virtual void quitNow();

private:
    void openDefaultMidiPorts();

    // Written on the message thread, read by firmwareVersionReceived on the
    // MIDI input thread.
    std::atomic<bool> tuningInProcess { false };
    std::unique_ptr<juce::FileChooser> reportChooser;
    juce::AudioDeviceManager::LevelMeter::Ptr inputLevelMeasurement;
};
