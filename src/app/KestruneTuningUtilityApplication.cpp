#include "KestruneTuningUtilityApplication.h"

#include "AboutWindow.h"
#include "AudioDeviceReviver.h"
#include "CommandIDs.h"
#include "EmbeddedData.h"
#include "FirmwareUpdateWindow.h"
#include "KestruneVersion.h"
#include "MainMenuModel.h"
#include "MainWindow.h"
#include "MessageThreadStallWatch.h"
#include "PreferencesWindow.h"
#include "QuitAfterWrites.h"
#include "TuningCheckWindow.h"
#include "midi/DeviceMessages.h"
#include "tuning/CalibrationReportReader.h"
#include "ui/CalibrationWriteMessage.h"
#include "ui/EmbeddedPictures.h"
#include "ui/MainWindowComponent.h"

//==============================================================================
KestruneTuningUtilityApplication::LaunchFirmwareUpdateOnMessageThread::LaunchFirmwareUpdateOnMessageThread (
    KestruneTuningUtilityApplication& owner)
    : application (owner)
{
}

KestruneTuningUtilityApplication::LaunchFirmwareUpdateOnMessageThread::~LaunchFirmwareUpdateOnMessageThread()
{
    cancelPendingUpdate();
}

void KestruneTuningUtilityApplication::LaunchFirmwareUpdateOnMessageThread::handleAsyncUpdate()
{
    const juce::MessageManagerLock mml;
    if (application.firmwareUpdateWindow != nullptr || application.tuneEngine == nullptr || application.tuningInProcess)
        return;
    auto* window = new FirmwareUpdateWindow (application.tuneEngine);
    application.firmwareUpdateWindow = window;
    window->setUsingNativeTitleBar (true);
    window->centreWithSize (window->getWidth(), window->getHeight());
    window->setVisible (true);
}

//==============================================================================
KestruneTuningUtilityApplication::KestruneTuningUtilityApplication() = default;
KestruneTuningUtilityApplication::~KestruneTuningUtilityApplication() = default;

KestruneTuningUtilityApplication* KestruneTuningUtilityApplication::getInstance()
{
    return dynamic_cast<KestruneTuningUtilityApplication*> (juce::JUCEApplication::getInstance());
}

const juce::String KestruneTuningUtilityApplication::getApplicationName() { return "Kestrune Tuning Utility"; }
const juce::String KestruneTuningUtilityApplication::getApplicationVersion() { return KestruneVersion::application; }
bool KestruneTuningUtilityApplication::moreThanOneInstanceAllowed() { return true; }
void KestruneTuningUtilityApplication::anotherInstanceStarted (const juce::String&) {}

juce::StringArray KestruneTuningUtilityApplication::getDefaultPortNames()
{
#if JUCE_MAC
    return { "Kestrune Jack 1" };
#else
    // Through JACK (and the virtual machine) the port carries the macOS name;
    // a directly attached machine is listed as "Kestrune".
    return { "Kestrune Jack 1", "Kestrune" };
#endif
}

void KestruneTuningUtilityApplication::openDefaultMidiPorts()
{
    const auto names = getDefaultPortNames();
    for (const auto& name : names)
    {
        if (midiManager->isInputDeviceAvailable (name))
        {
            midiManager->openInputDevice (name);
            break;
        }
    }
    for (const auto& name : names)
    {
        if (midiManager->isOutputDeviceAvailable (name))
        {
            midiManager->openOutputDevice (name);
            break;
        }
    }
}

void KestruneTuningUtilityApplication::initialise (const juce::String&)
{
    // Before any window exists, so that none is ever drawn in another look.
    juce::LookAndFeel::setDefaultLookAndFeel (&standardLook);
    startupWork = std::make_unique<SerialWorker>();
    startupWork->post ([] { juce::FileChooser::isPlatformDialogAvailable(); });
    // The image cache's timer starts with its first picture, here: JUCE does
    // not guard a Timer started from two threads at once, and the cache keeps
    // pictures that are held, so the timer runs on from now.
    decodedPictures.push_back (EmbeddedPictures::load (EmbeddedData::ledOff, EmbeddedData::ledOffSize));
    startupWork->post ([this] {
        auto all = EmbeddedPictures::decodeAll();
        decodedPictures.insert (decodedPictures.end(), all.begin(), all.end());
    });

    commandManager = std::make_unique<juce::ApplicationCommandManager>();
    commandManager->registerAllCommandsForTarget (this);
    mainMenuModel = std::make_unique<MainMenuModel> (commandManager.get());

    audioDeviceManager = std::make_unique<juce::AudioDeviceManager>();
    // Holding the input level getter is what switches the measurement on.
    inputLevelMeasurement = audioDeviceManager->getInputLevelGetter();

    midiManager = new MidiManager();
    openDefaultMidiPorts();

    tuneEngine = new TuneKestruneEngine (*audioDeviceManager, midiManager, MillisecondClock::system(),
                                         std::make_shared<CalibrationJournal> (CalibrationJournal::defaultFile()));
    tuneEngine->addStatusListener (this);

    audioDeviceManager->initialise (1, 0, nullptr, true);
    audioDeviceReviver = std::make_unique<AudioDeviceReviver> (*audioDeviceManager);

    mainWindow = std::make_unique<MainWindow> (tuneEngine, commandManager.get());
#if ! JUCE_MAC
    // No global menu bar here: the main window carries the menus. Added before
    // the window is centred, since it makes the window taller.
    mainWindow->setMenuBarAboveContent (mainMenuModel.get());
#endif
    mainWindow->setUsingNativeTitleBar (true);
    mainWindow->centreWithSize (mainWindow->getWidth(), mainWindow->getHeight());
    mainWindow->setVisible (true);

    extraAppleMenuItems.addCommandItem (commandManager.get(), CommandIDs::aboutCommand);
#if JUCE_MAC
    juce::MenuBarModel::setMacMainMenu (mainMenuModel.get(), &extraAppleMenuItems);
#endif

    juce::LookAndFeel::getDefaultLookAndFeel().setUsingNativeAlertWindows (true);

    tuningInProcess = false;
    launchFirmwareUpdateOnMessageThread = std::make_unique<LaunchFirmwareUpdateOnMessageThread> (*this);
    stallWatch = MessageThreadStallWatch::fromEnvironment();

    history = std::make_unique<CalibrationHistory> (CalibrationHistory::defaultFolder());

    // Before anything else can talk to the machine.
    handleJournal (tuneEngine->readJournal());
}

void KestruneTuningUtilityApplication::handleJournal (const CalibrationJournal::Entry& entry)
{
    using State = CalibrationJournal::Entry::State;
    if (entry.state == State::unreadable)
        showMessageBox (journalSetAsideTitle, "The record of the Kestrune's stored calibration could not be read ("
                                                  + entry.problem + "). It was moved to "
                                                  + entry.setAsideAs.getFullPathName() + " and is not used.");
    else if (entry.state == State::open)
        askToRestoreCalibration ([this] {
            if (tuneEngine != nullptr)
                tuneEngine->restoreStoredCalibration();
        });
}

void KestruneTuningUtilityApplication::askToRestoreCalibration (std::function<void()> onOk)
{
    juce::AlertWindow::showOkCancelBox (juce::AlertWindow::WarningIcon, restoreQuestionTitle, restoreQuestion, {}, {},
                                        nullptr, juce::ModalCallbackFunction::create ([onOk] (int result) {
                                            if (result != 0)
                                                onOk();
                                        }));
}

void KestruneTuningUtilityApplication::shutdown()
{
    quitAfterWrites = nullptr;
    stallWatch = nullptr;
    if (midiManager != nullptr)
        for (int note = DeviceMessages::firstCalibratedNote; note <= DeviceMessages::lastCalibratedNote; ++note)
            midiManager->sendMessageToAllOutputs (DeviceMessages::noteOff (note));

    mainWindow = nullptr;

#if JUCE_MAC
    juce::MenuBarModel::setMacMainMenu (nullptr);
#endif
    mainMenuModel = nullptr;

    delete preferencesWindow.get();
    // Its content stops a check still running, through the engine.
    delete tuningCheckWindow.get();

    if (tuneEngine != nullptr)
        tuneEngine->removeStatusListener (this);
    tuneEngine = nullptr;
    midiManager = nullptr;

    delete firmwareUpdateWindow.get();
    delete aboutWindow.get();
    audioDeviceReviver = nullptr;
    inputLevelMeasurement = nullptr;
    juce::LookAndFeel::setDefaultLookAndFeel (nullptr);
    startupWork = nullptr;
    decodedPictures.clear();
}

void KestruneTuningUtilityApplication::systemRequestedQuit()
{
    // Already on the way out, waiting for the machine.
    if (quitAfterWrites != nullptr)
        return;

    bool mayQuit = true;

    if (auto* window = firmwareUpdateWindow.get())
    {
        // The question is modal: meanwhile the transfer may complete and the
        // completion box's OK close the window. Only the weak reference knows.
        if (window->confirmClose())
            delete firmwareUpdateWindow.get();
        mayQuit = firmwareUpdateWindow == nullptr;
    }

    if (mayQuit && tuningInProcess)
        mayQuit = juce::AlertWindow::showOkCancelBox (
            juce::AlertWindow::WarningIcon, "Tuning In Process",
            "Tuning is currently in process. Quiting the application will end the tuning process. ", {}, {}, nullptr,
            nullptr);

    if (! mayQuit)
        return;

    // The machine gets its stored table back, confirmed, before the utility goes.
    if (tuneEngine != nullptr && tuneEngine->prepareToQuit())
    {
        if (mainWindow != nullptr)
            if (auto* content = dynamic_cast<MainWindowComponent*> (mainWindow->getContentComponent()))
                content->showQuitWait();
        quitAfterWrites = std::make_unique<QuitAfterWrites> (
            [this] { return tuneEngine != nullptr && tuneEngine->isWritingCalibration(); }, [this] { quitNow(); },
            *quitClock);
        return;
    }
    quitNow();
}

void KestruneTuningUtilityApplication::quitNow()
{
    juce::JUCEApplicationBase::quit();
}

//==============================================================================
void KestruneTuningUtilityApplication::getAllCommands (juce::Array<juce::CommandID>& commands)
{
    commands.addArray ({ CommandIDs::aboutCommand, CommandIDs::preferencesCommand, CommandIDs::updateFirmwareCommand,
                         CommandIDs::undoTuningCommand, CommandIDs::writeCalibrationToFileCommand,
                         CommandIDs::restoreDefaultCalibrationCommand, CommandIDs::minimiseCommand,
                         CommandIDs::bringToFrontCommand, CommandIDs::quitCommand,
                         CommandIDs::loadCalibrationFromFileCommand, CommandIDs::checkTuningCommand });
}

void KestruneTuningUtilityApplication::getCommandInfo (juce::CommandID commandID, juce::ApplicationCommandInfo& result)
{
    const bool hasResults = tuneEngine != nullptr && tuneEngine->hasTuningResults();
    auto set = [&] (const char* name, bool active) {
        result.setInfo (name, {}, "General", 0);
        result.setActive (active);
    };

    switch (commandID)
    {
        case CommandIDs::aboutCommand: set ("About", true); break;
        case CommandIDs::preferencesCommand: set ("Preferences", true); break;
        case CommandIDs::updateFirmwareCommand: set ("Update Firmware", true); break;
        case CommandIDs::undoTuningCommand:
        {
            // A check in progress would hear the pitch change under it.
            const auto source = tuneEngine != nullptr ? tuneEngine->getUndoSource() : TuneKestruneEngine::UndoSource::none;
            set (source == TuneKestruneEngine::UndoSource::load ? "Undo Load Calibration" : "Undo Tuning",
                 source != TuneKestruneEngine::UndoSource::none && ! tuneEngine->isBusy());
            break;
        }
        case CommandIDs::writeCalibrationToFileCommand: set ("Write Calibration to File", hasResults); break;
        case CommandIDs::restoreDefaultCalibrationCommand:
            set ("Restore Default Calibration", canRestoreDefaultCalibration());
            break;
        case CommandIDs::loadCalibrationFromFileCommand:
            set ("Load Calibration from File", canRestoreDefaultCalibration());
            break;
        case CommandIDs::minimiseCommand: set ("Minimize", true); break;
        case CommandIDs::bringToFrontCommand: set ("Bring To Front", true); break;
        case CommandIDs::checkTuningCommand:
            set ("Check Tuning", canRestoreDefaultCalibration());
            break;
        case CommandIDs::quitCommand:
            set ("Quit", true);
            result.addDefaultKeypress ('q', juce::ModifierKeys::commandModifier);
            break;
        default: break;
    }
}

bool KestruneTuningUtilityApplication::perform (const InvocationInfo& info)
{
    switch (info.commandID)
    {
        case CommandIDs::aboutCommand: showAboutWindow(); break;
        case CommandIDs::preferencesCommand: showPreferencesWindow(); break;
        case CommandIDs::updateFirmwareCommand: launchFirmwareUpdate(); break;
        case CommandIDs::undoTuningCommand:
            if (tuneEngine != nullptr)
                tuneEngine->undoTuningAndStore();
            break;
        case CommandIDs::writeCalibrationToFileCommand: writeCalibrationToFile(); break;
        case CommandIDs::loadCalibrationFromFileCommand: loadCalibrationFromFile(); break;
        case CommandIDs::restoreDefaultCalibrationCommand:
            if (tuneEngine != nullptr)
                tuneEngine->restoreDefaultCalibration();
            break;
        case CommandIDs::minimiseCommand:
            if (mainWindow != nullptr)
                mainWindow->setMinimised (true);
            break;
        case CommandIDs::bringToFrontCommand: bringMainWindowToFront(); break;
        case CommandIDs::quitCommand: systemRequestedQuit(); break;
        case CommandIDs::checkTuningCommand: showTuningCheckWindow(); break;
        default: break;
    }
    return true;
}

bool KestruneTuningUtilityApplication::canRestoreDefaultCalibration() const
{
    return tuneEngine != nullptr && ! tuneEngine->isBusy() && midiManager != nullptr && midiManager->getNumOpenOutputDevices() > 0;
}

void KestruneTuningUtilityApplication::showAboutWindow()
{
    const juce::MessageManagerLock mml;
    if (aboutWindow != nullptr)
        return;
    auto image = juce::ImageCache::getFromMemory (EmbeddedData::aboutBackground, EmbeddedData::aboutBackgroundSize);
    auto* window = new AboutWindow (image);
    aboutWindow = window;
    window->centreWithSize (window->getWidth(), window->getHeight());
    window->setVisible (true);
}

void KestruneTuningUtilityApplication::showPreferencesWindow()
{
    if (preferencesWindow != nullptr)
        return;
    auto* window = new PreferencesWindow (*audioDeviceManager, midiManager, tuneEngine);
    preferencesWindow = window;
    window->centreWithSize (window->getWidth(), window->getHeight());
    window->setUsingNativeTitleBar (true);
    window->setVisible (true);
}

void KestruneTuningUtilityApplication::writeCalibrationToFile()
{
    chooseFile ("Write Calibration Output File", {}, true, [this] (const juce::File& file) {
        if (tuneEngine != nullptr && ! tuneEngine->writeCalibrationReport (file))
            showMessageBox ("Unable to Write Calibration File",
                            "The calibration report could not be written to " + file.getFullPathName() + ".");
    });
}

void KestruneTuningUtilityApplication::loadCalibrationFromFile()
{
    const auto folder = history != nullptr ? history->getFolder() : juce::File();
    chooseFile ("Load Calibration File", "*.txt", false, [this] (const juce::File& file) {
        const auto read = CalibrationReportReader::read (file);
        if (! read.ok)
        {
            showMessageBox (loadRefusedTitle, read.error);
            return;
        }
        // What the machine holds now goes to the history and into the
        // question, and is what Undo gives back after the Load.
        const bool reading = tuneEngine != nullptr && tuneEngine->readCalibration (
            [this, header = read.header, values = read.values] (std::optional<CalibrationTableRule::Values> current) {
                if (! current.has_value())
                {
                    showMessageBox (loadRefusedTitle, "The Kestrune did not answer when its calibration was read "
                                                      "back, so nothing was loaded. Verify MIDI Settings and try again.");
                    return;
                }
                askToLoadCalibration (header + "\n\n" + describeChanges (*current, values), [this, values] {
                    // Stored only once the machine has confirmed every value;
                    // the outcome comes back through calibrationWriteFinished.
                    if (tuneEngine != nullptr && ! tuneEngine->loadCalibration (values))
                        showMessageBox (loadRefusedTitle, busyLoadMessage);
                });
            });
        if (! reading)
            showMessageBox (loadRefusedTitle, busyLoadMessage);
    }, folder);
}

juce::String KestruneTuningUtilityApplication::describeChanges (const CalibrationTableRule::Values& current,
                                                                const CalibrationTableRule::Values& loaded)
{
    int changed = 0, largest = 0;
    for (size_t i = 0; i < current.size(); ++i)
    {
        const int difference = std::abs ((int) loaded[i] - (int) current[i]);
        changed += difference != 0 ? 1 : 0;
        largest = juce::jmax (largest, difference);
    }
    if (changed == 0)
        return "The Kestrune already holds these 40 values: loading changes nothing.";
    return juce::String (changed) + " of the 40 notes change; the largest change is " + juce::String (largest)
           + ". Undo Load Calibration brings back the calibration the Kestrune holds now.";
}

void KestruneTuningUtilityApplication::chooseFile (const juce::String& title, const juce::String& patterns, bool forSaving,
                                                   std::function<void (const juce::File&)> chosen, const juce::File& folder)
{
    auto& entry = fileChoosers[title];
    if (entry.open)
    {
        // A second choice of the command while its dialog is up: the dialog the
        // user already has goes on, in front.
        for (int i = juce::TopLevelWindow::getNumTopLevelWindows(); --i >= 0;)
            if (auto* window = juce::TopLevelWindow::getTopLevelWindow (i); window != nullptr && window->getName() == title)
                window->toFront (true);
        return;
    }

    if (folder != juce::File())
        folder.createDirectory();
    entry.chooser = std::make_unique<juce::FileChooser> (title, folder, patterns, true);
    entry.open = true;
    const auto flags = forSaving ? juce::FileBrowserComponent::saveMode | juce::FileBrowserComponent::canSelectFiles
                                       | juce::FileBrowserComponent::warnAboutOverwriting
                                 : juce::FileBrowserComponent::openMode | juce::FileBrowserComponent::canSelectFiles;
    entry.chooser->launchAsync (flags, [this, title, chosen] (const juce::FileChooser& chooser) {
        fileChoosers[title].open = false;
        const auto file = chooser.getResult();
        if (file != juce::File())
            chosen (file);
    });
}

void KestruneTuningUtilityApplication::askToLoadCalibration (const juce::String& question, std::function<void()> onOk)
{
    juce::AlertWindow::showOkCancelBox (juce::AlertWindow::QuestionIcon, "Load Calibration", question, {}, {}, nullptr,
                                        juce::ModalCallbackFunction::create ([onOk] (int result) {
                                            if (result != 0)
                                                onOk();
                                        }));
}

void KestruneTuningUtilityApplication::showTuningCheckWindow()
{
    if (tuneEngine == nullptr)
        return;

    if (auto* open = tuningCheckWindow.get())
    {
        open->toFront (true);
        if (open->getTuningCheckComponent()->isChecking() || open->getTuningCheckComponent()->startCheck())
            return;
        showMessageBox (checkRefusedTitle, checkRefusedMessage);
        return;
    }

    // No window for a check the engine refuses.
    auto content = std::make_unique<TuningCheckComponent> (tuneEngine);
    if (! content->startCheck())
    {
        showMessageBox (checkRefusedTitle, checkRefusedMessage);
        return;
    }
    auto* window = new TuningCheckWindow (std::move (content));
    tuningCheckWindow = window;
    window->centreWithSize (window->getWidth(), window->getHeight());
    window->setUsingNativeTitleBar (true);
    window->setVisible (true);
}

void KestruneTuningUtilityApplication::showMessageBox (const juce::String& title, const juce::String& message)
{
    juce::AlertWindow::showMessageBoxAsync (juce::AlertWindow::WarningIcon, title, message);
}

void KestruneTuningUtilityApplication::bringMainWindowToFront()
{
    if (mainWindow != nullptr)
    {
        mainWindow->setMinimised (false);
        mainWindow->toFront (true);
    }
}

//==============================================================================
void KestruneTuningUtilityApplication::frequencyDetected (float) {}
void KestruneTuningUtilityApplication::tuningNoteChanged (int) {}
void KestruneTuningUtilityApplication::tuningStarted() { tuningInProcess = true; }
void KestruneTuningUtilityApplication::tuningStopped() { tuningInProcess = false; }
void KestruneTuningUtilityApplication::tuningFailed() { tuningInProcess = false; }
void KestruneTuningUtilityApplication::tuningProgressChanged (double) {}

void KestruneTuningUtilityApplication::firmwareVersionReceived (double version)
{
    // Arrives on the MIDI input thread: only trigger the async updater here.
    if (version < DeviceMessages::latestFirmwareVersion)
        launchFirmwareUpdate();
}

void KestruneTuningUtilityApplication::calibrationReadBack (const CalibrationTableRule::Values& values)
{
    keepInHistory (values, CalibrationHistory::readBack);
}

void KestruneTuningUtilityApplication::keepInHistory (const CalibrationTableRule::Values& values, const juce::String& what)
{
    if (history == nullptr || history->save (values, what) != juce::File() || historyWarned)
        return;
    // Once: the calibration goes on without its history.
    historyWarned = true;
    showMessageBox (historyNotSavedTitle, "The calibration history could not be written to "
                                              + history->getFolder().getFullPathName()
                                              + ". Calibrations go on, but their tables are not kept there until the "
                                                "folder can be written (it may be full or read-only).");
}

void KestruneTuningUtilityApplication::calibrationWriteFinished (const TuneKestruneEngine::CalibrationWriteOutcome& outcome)
{
    using Kind = TuneKestruneEngine::CalibrationWriteKind;
    if (outcome.stored && outcome.kind != Kind::restore)
        keepInHistory (outcome.values, outcome.kind == Kind::newCalibration
                                           ? CalibrationHistory::storedAfter (tuneEngine->getTuningAlgorithm())
                                       : outcome.kind == Kind::undo           ? juce::String (CalibrationHistory::storedByUndo)
                                       : outcome.kind == Kind::restoreDefault ? juce::String (CalibrationHistory::storedDefault)
                                                                              : juce::String (CalibrationHistory::storedFromFile));
    if (! outcome.stored && outcome.kind != TuneKestruneEngine::CalibrationWriteKind::newCalibration)
        showMessageBox (CalibrationWriteMessage::notStoredTitle, CalibrationWriteMessage::describe (outcome));
    if (commandManager != nullptr)
        commandManager->commandStatusChanged();
}

void KestruneTuningUtilityApplication::launchFirmwareUpdate()
{
    // May run on the MIDI input thread, where the window reference must not be
    // read: the updater checks for an open window on the message thread.
    if (! tuningInProcess && launchFirmwareUpdateOnMessageThread != nullptr)
        launchFirmwareUpdateOnMessageThread->triggerAsyncUpdate();
}
