#pragma once

#include "midi/MidiManager.h"
#include "tuning/TuneKestruneEngine.h"

#include <juce_gui_basics/juce_gui_basics.h>

class MainWindow;
class MainMenuModel;
class PreferencesWindow;
class FirmwareUpdateWindow;
class AboutWindow;

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
    bool canRestoreDefaultCalibration() const;

    bool isTuningInProcess() const { return tuningInProcess; }

    // The names the machine's MIDI ports have, tried in this order.
    static juce::StringArray getDefaultPortNames();

private:
    // Draws everything that the content components' own looks do not: the
    // menu bar and its pop-ups, alert boxes, dialogs and standard widgets.
    // Declared before the windows so that it outlives them.
    juce::LookAndFeel_V3 standardLook;

public:
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
    std::unique_ptr<LaunchFirmwareUpdateOnMessageThread> launchFirmwareUpdateOnMessageThread;

private:
    void openDefaultMidiPorts();

    // Written on the message thread, read by firmwareVersionReceived on the
    // MIDI input thread.
    std::atomic<bool> tuningInProcess { false };
    std::unique_ptr<juce::FileChooser> reportChooser;
    juce::AudioDeviceManager::LevelMeter::Ptr inputLevelMeasurement;
};
