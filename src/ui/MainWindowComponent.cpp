#include "MainWindowComponent.h"

#include "CalibrationWriteMessage.h"
#include "EmbeddedData.h"
#include "EmbeddedPictures.h"

namespace
{
constexpr auto picture = EmbeddedPictures::load;
constexpr auto setButtonImages = EmbeddedPictures::setButtonImages;

juce::Font plainFont (float height)
{
    return juce::Font (height, juce::Font::plain);
}
} // namespace

MainWindowComponent::MainWindowComponent (TuneKestruneEngine::Ptr engine,
                                          juce::ApplicationCommandManager* manager)
    : titleLabel ("Tuning Utility", "Tuning Utility"),
      instructionsLabel ("Instructions Display", getInstructionsText()),
      firmwareVersionLabel ("Firmware Version", "Firmware Version:"),
      startButton ("Start Tuning Calibration Button"),
      abortButton ("Abort Tuning Calibration Button"),
      progressDisplay (picture (EmbeddedData::progressBackground, EmbeddedData::progressBackgroundSize)),
      tuneEngine (engine),
      commandManager (manager)
{
    setLookAndFeel (&customLook);

    const auto background = picture (EmbeddedData::mainBackground, EmbeddedData::mainBackgroundSize);
    backgroundImage.setImage (background);
    backgroundImage.setSize (background.getWidth(), background.getHeight());
    addAndMakeVisible (backgroundImage);

    tuningLabel.setColour (juce::Label::textColourId, juce::Colours::white);
    tuningLabel.setFont (plainFont (12.0f));
    addChildComponent (tuningLabel);

    progressDisplay.setSize (408, 32);
    addAndMakeVisible (progressDisplay);

    firmwareVersionLabel.setBounds (465, 456, 100, 40);
    firmwareVersionLabel.setJustificationType (juce::Justification::topRight);
    firmwareVersionLabel.setColour (juce::Label::textColourId, juce::Colours::white);
    firmwareVersionLabel.setFont (plainFont (12.0f));
    addAndMakeVisible (firmwareVersionLabel);

    setButtonImages (startButton,
                     picture (EmbeddedData::calibrateButtonNormal, EmbeddedData::calibrateButtonNormalSize),
                     picture (EmbeddedData::calibrateButtonOver, EmbeddedData::calibrateButtonOverSize),
                     picture (EmbeddedData::calibrateButtonDown, EmbeddedData::calibrateButtonDownSize));
    setButtonImages (abortButton, picture (EmbeddedData::stopButtonNormal, EmbeddedData::stopButtonNormalSize),
                     picture (EmbeddedData::stopButtonOver, EmbeddedData::stopButtonOverSize),
                     picture (EmbeddedData::stopButtonDown, EmbeddedData::stopButtonDownSize));

    instructionsLabel.setColour (juce::Label::textColourId, juce::Colours::white);
    instructionsLabel.setFont (plainFont (14.0f));
    instructionsLabel.setSize (450, 410);
    instructionsLabel.setJustificationType (juce::Justification::topLeft);
    addAndMakeVisible (instructionsLabel);

    titleLabel.setColour (juce::Label::textColourId, juce::Colours::white);
    titleLabel.setFont (plainFont (20.0f));
    titleLabel.setSize (200, 20);
    addAndMakeVisible (titleLabel);

    addChildComponent (startButton);
    addChildComponent (abortButton);

    tuneEngine->addStatusListener (this);
    startButton.addListener (this);
    abortButton.addListener (this);
    progressDisplay.setProgress (0.0);

    tuneEngine->queryFirmwareVersion();

    setSize (background.getWidth(), background.getHeight());

    startButton.setVisible (true);
    abortButton.setVisible (false);
}

MainWindowComponent::~MainWindowComponent()
{
    // Waits for a version report that is being delivered on the MIDI input
    // thread; none can start afterwards, so cancelling the update is final.
    tuneEngine->removeStatusListener (this);
    cancelPendingUpdate();
    stopTimer();

    startButton.removeListener (this);
    abortButton.removeListener (this);
    setLookAndFeel (nullptr);
}

const juce::String& MainWindowComponent::getInstructionsText()
{
    static const juce::String text (
        "1. Use a USB cable to connect the Kestrune to your computer.\n"
        "    For the best results: Allow Kestrune to warm up for 15 minutes.\n"
        "2. Connect the Kestrune's Synth Output to the input of your\n"
        "    audio interface, and ensure the audio interface is connected\n"
        "    to your computer.\n"
        "3. In the Kestrune Tuning Utility, click File and select Preferences.\n"
        "4. In the Preferences window, make sure the following fields are\n"
        "    set appropriately. You can set all other fields as desired.\n"
        "   Click OK when finished.\n"
        "   - MIDI In & MIDI Out: Kestrune (Windows) or\n"
        "      Kestrune Jack 1 (Mac OS X)\n"
        "   - Audio Input: your interface (if your interface uses a specific\n"
        "      driver, set the Audio Driver to that driver) \n"
        "   - Audio Input Chnl: your interface's input channel connected to the\n"
        "      Synth Output\n"
        "   - Buffer Size: The audio input Buffer size(512 recommended)\n"
        "   - Tuning Algorithm (optional): If you haven't calibrated the tuning\n"
        "      before, set this to Sweep Tune. If you have calibrated the tuning\n"
        "      before, set this to Fine Tune.\n"
        "5. Ensure that the knobs and switches of the Kestrune's Bass\n"
        "    Synth section match the picture on the right.\n"
        "6. Click Calibrate Tuning below");
    return text;
}

void MainWindowComponent::resized()
{
    backgroundImage.setTopLeftPosition (0, 0);

    titleLabel.setTopLeftPosition (160, 58);
    titleLabel.toFront (false);

    progressDisplay.setTopLeftPosition (30, 440);
    const auto progressBounds = progressDisplay.getBounds();

    instructionsLabel.setBounds (progressBounds.getX(), titleLabel.getBottom() + 4, 450, 410);

    tuningLabel.setBounds (progressBounds.getRight() - 75, progressBounds.getBottom(), 75, 13);

    startButton.setTopLeftPosition (progressBounds.getCentreX() - startButton.getWidth() / 2,
                                    progressBounds.getY() - 50);
    abortButton.setTopLeftPosition (startButton.getPosition());
}

void MainWindowComponent::buttonClicked (juce::Button* button)
{
    if (button == &startButton)
    {
        // Nothing may go out beside a firmware image, nor while the machine
        // may be applying it or restarting.
        if (tuneEngine->isUpdatingFirmware())
        {
            showMessageBox (juce::MessageBoxIconType::NoIcon, "Unable to Perform Tuning Calibration",
                            firmwareMessage, {});
            return;
        }
        if (tuneEngine->isCheckingTuning())
        {
            showMessageBox (juce::MessageBoxIconType::NoIcon, "Unable to Perform Tuning Calibration",
                            checkingMessage, {});
            return;
        }
        if (! tuneEngine->startTuningCalibration())
        {
            showMessageBox (juce::MessageBoxIconType::NoIcon, "Unable to Perform Tuning Calibration",
                            "Verify Audio/MIDI Settings.", {});
            return;
        }
        // STOP ends the knob step as well as the run.
        startButton.setVisible (false);
        abortButton.setVisible (true);
        if (showKnobCalibrationWindow)
            showKnobCalibrationWindow();
    }
    else if (button == &abortButton)
    {
        startButton.setVisible (true);
        abortButton.setVisible (false);
        tuneEngine->abortTuning();
        stopTimer();
    }
}

void MainWindowComponent::showMessageBox (juce::MessageBoxIconType icon, const juce::String& title,
                                          const juce::String& message, const juce::String& buttonText)
{
    juce::AlertWindow::showMessageBoxAsync (icon, title, message, buttonText);
}

void MainWindowComponent::frequencyDetected (float)
{
    stopTimer();
    startTimer (watchdogIntervalMs);
}

void MainWindowComponent::tuningNoteChanged (int note)
{
    tuningLabel.setText ("Tuning: " + juce::MidiMessage::getMidiNoteName (note, true, true, 3),
                         juce::dontSendNotification);
}

void MainWindowComponent::tuningStarted()
{
    startButton.setVisible (false);
    abortButton.setVisible (true);
    tuningLabel.setVisible (true);
    runStarted = true;
    startTimer (watchdogIntervalMs);
}

void MainWindowComponent::tuningStopped()
{
    // After a run the watchdog keeps running: when the run ended because the
    // machine went away, it reports the failure once the measurements stop.
    // A knob step ends by the owner's hand, or with the engine's own report.
    if (! runStarted)
        stopTimer();
    returnToIdle();
    if (commandManager != nullptr)
        commandManager->commandStatusChanged();
}

void MainWindowComponent::tuningFailed()
{
    showFailure();
}

void MainWindowComponent::showFailure()
{
    showMessageBox (juce::MessageBoxIconType::WarningIcon, "There was a problem calibrating the Kestrune.",
                    "Verify Audio/MIDI Settings, and make sure you have set the Kestrune's Bass Synth section to "
                    "match the picture. Verify you are not clipping the input signal and adjust the gain on your "
                    "audio interface if necessary. If you are using the Fine Tune setting, run the calibration "
                    "again using the Sweep Tune setting.",
                    {});
    stopTimer();
    returnToIdle();
}

void MainWindowComponent::firmwareVersionReceived (double version)
{
    latestFirmwareVersion = version;
    triggerAsyncUpdate();
}

void MainWindowComponent::handleAsyncUpdate()
{
    firmwareVersionLabel.setText ("Firmware Version\r\n" + juce::String (latestFirmwareVersion.load(), 2),
                                  juce::dontSendNotification);
}

void MainWindowComponent::tuningProgressChanged (double progress)
{
    progressDisplay.setProgress (progress);
    // The run is over; the box waits until the machine has confirmed the values.
    if (progress == 1.0)
        stopTimer();
}

void MainWindowComponent::calibrationWriteFinished (const TuneKestruneEngine::CalibrationWriteOutcome& outcome)
{
    if (outcome.kind != TuneKestruneEngine::CalibrationWriteKind::newCalibration)
        return;
    if (outcome.stored)
        showMessageBox (juce::MessageBoxIconType::NoIcon, "Calibration Complete",
                        "The calibration process has been completed.", "OK");
    else
        showMessageBox (juce::MessageBoxIconType::WarningIcon, CalibrationWriteMessage::notStoredTitle,
                        CalibrationWriteMessage::describe (outcome), {});
    if (commandManager != nullptr)
        commandManager->commandStatusChanged();
}

void MainWindowComponent::showQuitWait()
{
    startButton.setVisible (false);
    abortButton.setVisible (false);
    tuningLabel.setText (quitWaitText, juce::dontSendNotification);
    const auto progressBounds = progressDisplay.getBounds();
    tuningLabel.setBounds (progressBounds.getX(), progressBounds.getBottom(), progressBounds.getWidth(), 13);
    tuningLabel.setJustificationType (juce::Justification::centredRight);
    tuningLabel.setVisible (true);
}

void MainWindowComponent::timerCallback()
{
    // Only the window gives up: the engine is not told.
    stopTimer();
    showFailure();
}

void MainWindowComponent::returnToIdle()
{
    startButton.setVisible (true);
    abortButton.setVisible (false);
    tuningLabel.setVisible (false);
    progressDisplay.setProgress (0.0);
    runStarted = false;
}
