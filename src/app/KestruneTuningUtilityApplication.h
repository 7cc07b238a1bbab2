#pragma once

#include "core/SerialWorker.h"
#include "midi/MidiManager.h"
#include "tuning/CalibrationHistory.h"
#include "tuning/TuneKestruneEngine.h"

#include <juce_gui_basics/juce_gui_basics.h>

#include <map>

class MainWindow;
class QuitAfterWrites;
class MessageThreadStallWatch;
class MainMenuModel;
class PreferencesWindow;
class FirmwareUpdateWindow;
class AboutWindow;
class AudioDeviceReviver;
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

    static constexpr const char* loadRefusedTitle = "Unable to Load Calibration";
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
    // Undo Tuning, Restore Default Calibration and Load Calibration from File
    // say so when nothing was stored; the main window speaks for a run.
    void calibrationWriteFinished (const TuneKestruneEngine::CalibrationWriteOutcome& outcome) override;
    // Every table read back goes to the history.
    void calibrationReadBack (const CalibrationTableRule::Values& values) override;
    // The question before a Load: how many notes change and by how much at most.
    static juce::String describeChanges (const CalibrationTableRule::Values& current, const CalibrationTableRule::Values& loaded);

    void launchFirmwareUpdate();
    void showAboutWindow();
    void showPreferencesWindow();
    void writeCalibrationToFile();
    void loadCalibrationFromFile();
    void bringMainWindowToFront();
    // Opens the tuning check window, or brings it forward, and starts a check
    // in it unless one runs there.
    void showTuningCheckWindow();
    bool canRestoreDefaultCalibration() const;
    // Start-up: an unreadable journal is reported; an open one (the utility
    // ended while the machine held values of its own) asks to write the
    // stored table back.
    void handleJournal (const CalibrationJournal::Entry& entry);

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
    juce::WeakReference<TuningCheckWindow> tuningCheckWindow;
    std::unique_ptr<LaunchFirmwareUpdateOnMessageThread> launchFirmwareUpdateOnMessageThread;
    std::unique_ptr<MessageThreadStallWatch> stallWatch;   // end-to-end tests only
    std::unique_ptr<QuitAfterWrites> quitAfterWrites;       // while a quit waits for the machine
    MillisecondClock* quitClock = &MillisecondClock::system();

    static constexpr const char* restoreQuestionTitle = "Restore the Kestrune's Calibration";
    static constexpr const char* restoreQuestion =
        "The Kestrune Tuning Utility ended while the Kestrune held calibration values of its own. Write the "
        "calibration the Kestrune had stored back to it now? Switching the Kestrune off and on also brings its "
        "stored calibration back.";
    static constexpr const char* journalSetAsideTitle = "Calibration Journal Set Aside";
    static constexpr const char* historyNotSavedTitle = "Calibration History Not Saved";
    static constexpr const char* busyLoadMessage =
        "The Kestrune is busy: wait until the calibration or the firmware update has finished, then load the file again.";
    // Where every table read or stored is kept; none in most tests.
    std::unique_ptr<CalibrationHistory> history;

protected:
    // An asynchronous warning box; tests record it instead.
    virtual void showMessageBox (const juce::String& title, const juce::String& message);
    // Ends the message loop; tests record it instead.
    virtual void quitNow();
    // The file dialog with that title; `chosen` runs only when a file was
    // chosen. While the dialog is up, asking again brings it to the front.
    virtual void chooseFile (const juce::String& title, const juce::String& patterns, bool forSaving,
                             std::function<void (const juce::File&)> chosen, const juce::File& folder = {});
    // The OK/Cancel question: the header of the report to load and what it changes.
    virtual void askToLoadCalibration (const juce::String& question, std::function<void()> onOk);
    // The OK/Cancel question of an open journal.
    virtual void askToRestoreCalibration (std::function<void()> onOk);

private:
    void openDefaultMidiPorts();
    // Saves a table in the history; tells the owner once when it cannot.
    void keepInHistory (const CalibrationTableRule::Values& values, const juce::String& what);
    bool historyWarned = false;

    // Written on the message thread, read by firmwareVersionReceived on the
    // MIDI input thread.
    std::atomic<bool> tuningInProcess { false };
    struct FileChooserInUse
    {
        std::unique_ptr<juce::FileChooser> chooser;
        bool open = false;
    };
    std::map<juce::String, FileChooserInUse> fileChoosers;   // by title
    // Work done once, off the message thread, so that no window's first
    // opening waits for it: JUCE decides whether a desktop file dialog exists
    // by running programs and waiting for them, and decodes every picture.
    std::unique_ptr<SerialWorker> startupWork;
    // Kept so that the image cache never lets them go. Written before
    // startupWork starts and then by it alone; dropped once it has been joined.
    std::vector<juce::Image> decodedPictures;
    juce::AudioDeviceManager::LevelMeter::Ptr inputLevelMeasurement;
    std::unique_ptr<AudioDeviceReviver> audioDeviceReviver;
};
