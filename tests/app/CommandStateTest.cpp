#include "app/CommandIDs.h"
#include "app/QuitAfterWrites.h"
#include "support/RecordingApplication.h"
#include "app/TuningCheckWindow.h"
#include "support/SimRig.h"
#include "midi/DeviceMessages.h"
#include "tuning/CalibrationReport.h"
#include "tuning/CalibrationReportReader.h"
#include "ui/CalibrationWriteMessage.h"

#include <gtest/gtest.h>

namespace
{
// The application object on the virtual machine's rig: the command states
// depend only on the engine and the MIDI manager.
struct CommandStateTest : ::testing::Test
{
    CommandStateTest()
    {
        app->tuneEngine = rig.engine;
        app->midiManager = rig.midi;
        rig.engine->addStatusListener (app.get());
    }
    ~CommandStateTest() override { rig.engine->removeStatusListener (app.get()); }

    // Paced writes and their check take a few ticks.
    void finishWrites() { rig.run (3000.0, [this] { return ! rig.engine->isWritingCalibration(); }); }

    // "1" for each enabled command, "0" for each disabled one.
    std::string states (std::initializer_list<juce::CommandID> ids)
    {
        std::string s;
        for (auto id : ids)
        {
            juce::ApplicationCommandInfo info (id);
            app->getCommandInfo (id, info);
            s += (info.flags & juce::ApplicationCommandInfo::isDisabled) == 0 ? '1' : '0';
        }
        return s;
    }

    enginetest::SimRig rig { enginetest::machineOptions (1, 0.0) };
    std::unique_ptr<RecordingApplication> app = std::make_unique<RecordingApplication>();
};
} // namespace

TEST_F (CommandStateTest, CalibrationCommandsFollowTheRunAndUndoOutlivesAStartThatWasNotAnswered)
{
    auto calibration = [this] {
        return states ({ CommandIDs::undoTuningCommand, CommandIDs::writeCalibrationToFileCommand,
                         CommandIDs::restoreDefaultCalibrationCommand, CommandIDs::checkTuningCommand });
    };
    EXPECT_EQ (calibration(), "0011");
    rig.startAndBegin();
    EXPECT_EQ (calibration(), "0000");
    rig.runToEnd();
    EXPECT_EQ (calibration(), "1111");
    rig.midi->closeAllOutputDevices();
    EXPECT_EQ (calibration(), "1100");
    rig.midi->openOutputDevice (VirtualKestruneMidiPortSystem::defaultPortName);

    const auto stored = rig.machine->getStoredState();
    app->invokeDirectly (CommandIDs::undoTuningCommand, false);
    finishWrites();
    EXPECT_TRUE (app->boxes.isEmpty());
    const auto undone = rig.machine->getStoredState();
    EXPECT_NE (undone, stored);

    // Note 24's reply lost at the next start: it ends having changed nothing,
    // and nothing that writes is offered meanwhile.
    rig.machine->dropNextReplies (1);
    ASSERT_TRUE (rig.engine->startTuningCalibration());
    EXPECT_EQ (states ({ CommandIDs::undoTuningCommand, CommandIDs::restoreDefaultCalibrationCommand }), "00");
    rig.run (1500.0);
    EXPECT_FALSE (rig.engine->isCalibrating());
    EXPECT_EQ (states ({ CommandIDs::undoTuningCommand }), "1");
    app->invokeDirectly (CommandIDs::undoTuningCommand, false);
    finishWrites();
    EXPECT_TRUE (app->boxes.isEmpty());
    EXPECT_EQ (rig.machine->getStoredState(), undone);
}

TEST_F (CommandStateTest, LoadReadsTheMachineFirstAsksWithWhatChangesAndUndoGivesItBack)
{
    juce::TemporaryFile temp (".txt");
    app->fileToChoose = temp.getFile();
    std::array<TuningResult, 64> results {};
    for (int note = 24; note <= 63; ++note)
        results[(size_t) note] = { (juce::uint16) (60000 - 1000 * (note - 24)), 100.0f };
    const juce::Time when (2025, 0, 2, 3, 4, 5);
    ASSERT_TRUE (CalibrationReport::append (temp.getFile(), results.data(), 64, when));
    const auto before = rig.machine->getStoredState();
    rig.midi->sendMessageToAllOutputs (DeviceMessages::identityRequest());
    const auto settle = [this] { rig.run (5000.0, [this] { return ! rig.engine->isBusy(); }); };

    // Cancel: only the read-back goes out. OK: written, confirmed and stored.
    for (const bool ok : { false, true })
    {
        app->answerOk = ok;
        app->invokeDirectly (CommandIDs::loadCalibrationFromFileCommand, false);
        EXPECT_TRUE (rig.engine->isBusy()) << "reading the machine back";
        settle();
        EXPECT_EQ (rig.machine->getStoredValue (40) == results[40].value, ok) << ok;
    }
    ASSERT_EQ (app->questions.size(), 2);
    EXPECT_TRUE (app->questions[0].startsWith (CalibrationReport::headerLine (when) + "\n\n40 of the 40 notes change; the largest change is "))
        << app->questions[0];
    for (int note = 24; note <= 63; ++note)
        EXPECT_EQ (rig.machine->getStoredValue (note), results[(size_t) note].value) << note;
    EXPECT_TRUE (app->boxes.isEmpty());

    // Undo, which the menu names, gives back the table read before the Load.
    juce::ApplicationCommandInfo undo (CommandIDs::undoTuningCommand);
    app->getCommandInfo (CommandIDs::undoTuningCommand, undo);
    EXPECT_EQ (undo.shortName, "Undo Load Calibration");
    app->invokeDirectly (CommandIDs::undoTuningCommand, false);
    settle();
    EXPECT_EQ (rig.machine->getStoredState(), before);

    // A file that is no calibration: refused with the reason, nothing sent.
    temp.getFile().replaceWithText ("Tuning Results: today\nMidi Note: 24\tValue: 1\tNew Frequency: 1\n");
    const auto sent = rig.ports->getReceivedByMachine().size();
    app->invokeDirectly (CommandIDs::loadCalibrationFromFileCommand, false);
    EXPECT_EQ (app->boxes, juce::StringArray (KestruneTuningUtilityApplication::loadRefusedTitle));
    EXPECT_TRUE (app->messages[0].contains ("1 rows")) << app->messages[0];
    EXPECT_EQ (rig.ports->getReceivedByMachine().size(), sent);
}

TEST_F (CommandStateTest, EveryTableReadOrStoredGoesToTheHistoryAndAFolderThatCannotBeWrittenIsToldOnce)
{
    const auto folder = juce::File::createTempFile ("history");
    app->history = std::make_unique<CalibrationHistory> (folder);
    rig.startAndBegin();
    rig.runToEnd();
    app->invokeDirectly (CommandIDs::undoTuningCommand, false);
    finishWrites();
    app->invokeDirectly (CommandIDs::restoreDefaultCalibrationCommand, false);
    finishWrites();

    juce::StringArray names;
    for (const auto& file : folder.findChildFiles (juce::File::findFiles, false, "*.txt"))
        names.add (file.getFileName().fromFirstOccurrenceOf (" ", false, false).fromFirstOccurrenceOf (" ", false, false));
    names.sort (false);
    EXPECT_EQ (names, juce::StringArray ("read back.txt", "stored after Sweep Tune.txt", "stored by Undo.txt", "stored default.txt"));
    // Sorted by name, they are the timeline; each loads back.
    auto files = folder.findChildFiles (juce::File::findFiles, false, "*.txt");
    files.sort();
    ASSERT_EQ (files.size(), 4);
    EXPECT_TRUE (files[0].getFileName().endsWith ("read back.txt") && files[3].getFileName().endsWith ("stored default.txt"));
    const auto stored = CalibrationReportReader::read (files[1]);
    ASSERT_TRUE (stored.ok) << stored.error;
    for (int note = 24; note <= 63; ++note)
        EXPECT_EQ (stored.values[(size_t) (note - 24)], rig.engine->getTuningResults()[(size_t) note].value) << note;

    // A regular file where the folder should be: one box, the calibration goes on.
    const auto blocked = folder.getChildFile ("not-a-folder");
    ASSERT_TRUE (blocked.replaceWithText ("x"));
    app->history = std::make_unique<CalibrationHistory> (blocked.getChildFile ("history"));
    rig.startAndBegin();
    rig.runToEnd();
    EXPECT_EQ (app->boxes, juce::StringArray (KestruneTuningUtilityApplication::historyNotSavedTitle));
    EXPECT_TRUE (app->messages[0].contains (blocked.getFullPathName()));
    EXPECT_EQ (rig.listener.milestones().back(), "written new stored");
    folder.deleteRecursively();
}

TEST_F (CommandStateTest, ACheckOrAFirmwareUpdateHoldsEveryWriteBack)
{
    auto writes = [this] {
        return states ({ CommandIDs::restoreDefaultCalibrationCommand, CommandIDs::loadCalibrationFromFileCommand,
                         CommandIDs::checkTuningCommand });
    };
    EXPECT_EQ (writes(), "111");
    // The knob step: nothing is offered, and asked all the same, the engine
    // refuses and no window opens.
    rig.start();
    EXPECT_EQ (writes(), "000");
    const auto sent = rig.ports->getReceivedByMachine().size();
    app->showTuningCheckWindow();
    EXPECT_EQ (app->boxes, juce::StringArray (KestruneTuningUtilityApplication::checkRefusedTitle));
    EXPECT_TRUE (app->tuningCheckWindow == nullptr);
    EXPECT_EQ (rig.ports->getReceivedByMachine().size(), sent);
    rig.engine->abortTuning();
    EXPECT_EQ (writes(), "000") << "while the stored table goes back";
    rig.finishWrites();

    for (const bool check : { true, false })
    {
        SCOPED_TRACE (check);
        ASSERT_TRUE (check ? rig.engine->startTuningCheck (nullptr) : rig.engine->startFirmwareUpdate (nullptr));
        // A write now would change the pitch of the note being measured, or
        // land inside the firmware's SysEx message.
        EXPECT_EQ (writes(), "000");
        EXPECT_FALSE (rig.engine->restoreDefaultCalibration());
        EXPECT_FALSE (rig.engine->startTuningCalibration());
        if (check)
            rig.engine->stopTuningCheck();
        else
            rig.engine->cancelFirmwareUpdate();
        EXPECT_EQ (writes(), "111");
    }
}

TEST_F (CommandStateTest, FirmwareVersionsBelowTheCarriedOneAskForTheUpdateWindowOnlyWhileIdle)
{
    auto& launch = *(app->launchFirmwareUpdateOnMessageThread =
                         std::make_unique<KestruneTuningUtilityApplication::LaunchFirmwareUpdateOnMessageThread> (*app));
    // { tuning, version, update window asked for }
    const std::tuple<bool, double, bool> cases[] = { { false, 1.05, false }, { false, 1.04, true }, { true, 1.0, false }, { false, 1.0, true } };
    for (auto [tuning, version, asked] : cases)
    {
        tuning ? app->tuningStarted() : app->tuningFailed();
        app->firmwareVersionReceived (version);
        EXPECT_EQ (launch.isUpdatePending(), asked) << tuning << " " << version;
        launch.cancelPendingUpdate();
    }
}

TEST_F (CommandStateTest, QuitInTheKnobStepWaitsUntilTheStoredTableIsBackOrGivenUp)
{
    app->quitClock = &rig.clock;
    for (const bool machineAnswers : { true, false })
    {
        SCOPED_TRACE (machineAnswers);
        const auto before = rig.machine->getStoredState();
        rig.start();
        if (! machineAnswers)
            rig.machine->dropNextWrites (1000);
        app->systemRequestedQuit();
        app->systemRequestedQuit();   // asked again while it waits: still one wait
        ASSERT_NE (app->quitAfterWrites, nullptr);
        rig.run (50.0);
        app->quitAfterWrites->timerCallback();
        EXPECT_EQ (app->quits, 0) << "gone before the machine confirmed or the writer gave up";
        rig.finishWrites();
        app->quitAfterWrites->timerCallback();
        EXPECT_EQ (app->quits, 1);
        EXPECT_EQ (rig.differencesFrom (before).empty(), machineAnswers) << rig.differencesFrom (before);
        rig.machine->dropNextWrites (0);
        app->quits = 0;
        app->quitAfterWrites = nullptr;
    }
    // Idle: at once.
    app->systemRequestedQuit();
    EXPECT_EQ (app->quits, 1);
}

TEST (QuitAfterWrites, QuitsOnceTheWritesEndOrTheBoundHasPassed)
{
    SimulatedClock clock;
    for (const bool writesEnd : { true, false })
    {
        bool writing = true;
        int quits = 0;
        QuitAfterWrites wait ([&] { return writing; }, [&] { ++quits; }, clock);
        clock.advanceMs (QuitAfterWrites::limitMs - 1);
        wait.timerCallback();
        EXPECT_EQ (quits, 0);
        writing = ! writesEnd;
        clock.advanceMs (writesEnd ? 0 : 1);
        wait.timerCallback();
        wait.timerCallback();
        EXPECT_EQ (quits, 1) << writesEnd;
    }
}

TEST_F (CommandStateTest, AJournalLeftOpenAsksToRestoreAndAnUnreadableOneIsReported)
{
    using State = CalibrationJournal::Entry::State;
    // The utility ended in the knob step without waiting for any confirmation,
    // note 24 at its lowest pitch as a crash would have left it.
    const auto folder = juce::File::createTempFile ("journal");
    const auto journalFile = folder.getChildFile ("calibration-journal.txt");
    const auto before = rig.machine->getStoredState();
    rig.engine->removeStatusListener (app.get());
    rig.newEngine (std::make_shared<CalibrationJournal> (journalFile));
    rig.start();
    rig.newEngine();
    rig.midi->sendMessageToAllOutputs (DeviceMessages::calibrationValueWrite (24, 0xFFFF));
    rig.newEngine (std::make_shared<CalibrationJournal> (journalFile));
    app->tuneEngine = rig.engine;
    rig.engine->addStatusListener (app.get());

    const auto entry = rig.engine->readJournal();
    ASSERT_EQ (entry.state, State::open);
    EXPECT_EQ (entry.values[0], before.valueForNote (24));
    for (const bool ok : { false, true })
    {
        app->answerOk = ok;
        app->handleJournal (entry);
        rig.midi->sendMessageToAllOutputs (DeviceMessages::identityRequest());   // the poll's next request
        rig.run (100.0);
        rig.finishWrites();
        EXPECT_EQ (rig.differencesFrom (before).empty(), ok) << rig.differencesFrom (before);
    }
    EXPECT_EQ (app->questions.size(), 2);
    EXPECT_TRUE (app->boxes.isEmpty());
    EXPECT_EQ (rig.engine->readJournal().state, State::settled);
    folder.deleteRecursively();

    CalibrationJournal::Entry unreadable;
    unreadable.state = State::unreadable;
    unreadable.problem = "its check line does not match";
    unreadable.setAsideAs = juce::File ("/tmp/calibration-journal.txt.unreadable-1");
    app->handleJournal (unreadable);
    app->handleJournal (CalibrationJournal::Entry {});
    EXPECT_EQ (app->boxes, juce::StringArray (KestruneTuningUtilityApplication::journalSetAsideTitle));
    EXPECT_TRUE (app->messages[0].contains ("its check line does not match") && app->messages[0].contains ("unreadable-1"));
}
