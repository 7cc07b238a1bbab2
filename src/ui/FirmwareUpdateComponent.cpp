#include "FirmwareUpdateComponent.h"

#include "EmbeddedData.h"

namespace
{
juce::Image embeddedImage (const char* data, int size)
{
    return juce::ImageCache::getFromMemory (data, size);
}

std::unique_ptr<juce::Label> makeLabel (const juce::String& name, const juce::String& text,
                                        juce::Rectangle<int> bounds)
{
    auto label = std::make_unique<juce::Label> (name, text);
    label->setColour (juce::Label::textColourId, juce::Colours::white);
    label->setBounds (bounds);
    return label;
}
} // namespace

//==============================================================================
FirmwareUpdateComponent::AlertWindowCallback::AlertWindowCallback (FirmwareUpdateComponent* c) : component (c) {}

void FirmwareUpdateComponent::AlertWindowCallback::modalStateFinished (int)
{
    if (auto* c = component.getComponent())
        delete c->getParentComponent();
}

//==============================================================================
FirmwareUpdateComponent::FirmwareUpdateComponent (TuneKestruneEngine::Ptr engine)
    : tuneEngine (std::move (engine)), safeThis (this)
{
    const auto backgroundImage = embeddedImage (EmbeddedData::firmwareBackground, EmbeddedData::firmwareBackgroundSize);
    background = std::make_unique<juce::ImageComponent> ("Updater Window Background Image");
    background->setImage (backgroundImage);
    background->setBounds (0, 0, backgroundImage.getWidth(), backgroundImage.getHeight());
    addAndMakeVisible (*background);

    progressBar = std::make_unique<juce::ProgressBar> (progress);
    progressBar->setColour (juce::ProgressBar::backgroundColourId, juce::Colours::transparentWhite);
    progressBar->setColour (juce::ProgressBar::foregroundColourId, juce::Colours::darkred);
    progressBar->setBounds (25, 189, 350, 26);
    addAndMakeVisible (*progressBar);

    updateInformationLabel = makeLabel ("Update Information", updateInformationText, { 20, 85, 320, 45 });
    addAndMakeVisible (*updateInformationLabel);

    currentVersionLabel = makeLabel ("Curent Firmware Version", {}, { 20, 130, 200, 20 });
    addAndMakeVisible (*currentVersionLabel);

    latestVersionLabel = makeLabel ("Update Firmware Version", {}, { 20, 150, 200, 25 });
    addAndMakeVisible (*latestVersionLabel);

    updateButton = std::make_unique<juce::ImageButton> ("Update Firmware Button");
    updateButton->setImages (true, true, true,
                             embeddedImage (EmbeddedData::updateButtonNormal, EmbeddedData::updateButtonNormalSize),
                             1.0f, juce::Colours::transparentBlack,
                             embeddedImage (EmbeddedData::updateButtonOver, EmbeddedData::updateButtonOverSize), 1.0f,
                             juce::Colours::transparentBlack,
                             embeddedImage (EmbeddedData::updateButtonDown, EmbeddedData::updateButtonDownSize), 1.0f,
                             juce::Colours::transparentBlack);
    updateButton->setTopLeftPosition (180, 215);
    addAndMakeVisible (*updateButton);
    updateButton->addListener (this);

    tuneEngine->addStatusListener (this);
    tuneEngine->queryFirmwareVersion();

    latestVersionLabel->setText ("Latest Version: " + juce::String (DeviceMessages::latestFirmwareVersion, 2), juce::dontSendNotification);

    setLookAndFeel (&customLook);

    tuningInProgress = tuneEngine->isTuning();
    updateInProgress = tuneEngine->isUpdatingFirmware();
    updateButtonState();

    setSize (backgroundImage.getWidth(), backgroundImage.getHeight());
}

FirmwareUpdateComponent::~FirmwareUpdateComponent()
{
    stopTimer();
    if (updateInProgress)
        tuneEngine->cancelFirmwareUpdate();
    // Waits for a version report still running on the MIDI input thread.
    tuneEngine->removeStatusListener (this);

    updateButton->removeListener (this);
    setLookAndFeel (nullptr);
    updateButton = nullptr;
    latestVersionLabel = nullptr;
    currentVersionLabel = nullptr;
    updateInformationLabel = nullptr;
    progressBar = nullptr;
    background = nullptr;
    tuneEngine = nullptr;
}

juce::String FirmwareUpdateComponent::versionText (double version)
{
    if (version == 0.0)
        return "Firmware Not Detected";
    return "Current Version: " + juce::String (version, 2);
}

void FirmwareUpdateComponent::showMessageBox (const juce::String& title, const juce::String& message,
                                              juce::ModalComponentManager::Callback* callback)
{
    juce::AlertWindow::showMessageBoxAsync (juce::MessageBoxIconType::NoIcon, title, message, "OK", nullptr, callback);
}

juce::String FirmwareUpdateComponent::waitingText (juce::uint32 waitedMs)
{
    const auto seconds = (int) (waitedMs / 1000);
    const auto waited = seconds < 60 ? juce::String (seconds) + " s"
                                     : juce::String (seconds / 60) + " min " + juce::String (seconds % 60).paddedLeft ('0', 2) + " s";
    return juce::String (juce::CharPointer_UTF8 ("Press Play on the Kestrune\xe2\x80\xa6 "))
           + "Waiting for it to report its new firmware: " + waited + ".";
}

juce::String FirmwareUpdateComponent::sameVersionText()
{
    return "The Kestrune answers " + juce::String (DeviceMessages::latestFirmwareVersion, 2)
           + " as before: the utility cannot tell whether it took the update. Press Update Firmware to try again.";
}

juce::String FirmwareUpdateComponent::reinstallMessage()
{
    return "The Kestrune already runs firmware " + juce::String (DeviceMessages::latestFirmwareVersion, 2)
           + ". Install the same version again?";
}

void FirmwareUpdateComponent::updateButtonState()
{
    // While the machine answers as before, the button sends the image again.
    updateButton->setEnabled (! tuningInProgress && (sameVersionAnswered || (! updateInProgress && progress == 0.0)));
}

//==============================================================================
void FirmwareUpdateComponent::buttonClicked (juce::Button* button)
{
    if (button != updateButton.get() || tuningInProgress)
        return;

    if (sameVersionAnswered)
    {
        // The wait so far proves nothing either way: start over.
        tuneEngine->cancelFirmwareUpdate();
        endWait();
        startUpdate();
        return;
    }
    if (progress != 0.0 || updateInProgress || refusedWhileBusy())
        return;

    if (tuneEngine->getFirmwareVersion() >= DeviceMessages::latestFirmwareVersion - 0.005)
        askToReinstall ([target = safeThis] {
            if (auto* component = target.getComponent())
                component->startUpdate();
        });
    else
        startUpdate();
}

bool FirmwareUpdateComponent::refusedWhileBusy()
{
    // The knob step sounds the reference note and is about to write to it:
    // its messages must never land inside the image.
    if (! tuneEngine->isBusy())
        return false;
    showMessageBox (notStartedTitle,
                    tuneEngine->isCalibrating()          ? calibratingMessage
                    : tuneEngine->isCheckingTuning()    ? checkingMessage
                    : tuneEngine->isUpdatingFirmware()  ? firmwareBusyMessage
                                                        : writingMessage,
                    nullptr);
    return true;
}

void FirmwareUpdateComponent::startUpdate()
{
    if (updateInProgress || refusedWhileBusy())
        return;
    if (! tuneEngine->startFirmwareUpdate (this))
    {
        // Nothing was started: say why and stay ready for another attempt once
        // the ports are right. The engine stopped the version query; resume it.
        tuneEngine->queryFirmwareVersion();
        showMessageBox (notStartedTitle, notStartedMessage, nullptr);
        return;
    }

    updateInProgress = true;
    updateButtonState();
}

void FirmwareUpdateComponent::askToTryAgain (std::function<void()> onTryAgain)
{
    juce::AlertWindow::showOkCancelBox (juce::MessageBoxIconType::WarningIcon, notAcceptedTitle, notAcceptedMessage,
                                        "Try Again", "Cancel", nullptr,
                                        juce::ModalCallbackFunction::create ([onTryAgain] (int result) {
                                            if (result != 0)
                                                onTryAgain();
                                        }));
}

void FirmwareUpdateComponent::askToReinstall (std::function<void()> onReinstall)
{
    juce::AlertWindow::showOkCancelBox (juce::MessageBoxIconType::QuestionIcon, reinstallTitle, reinstallMessage(),
                                        "OK", "Cancel", nullptr,
                                        juce::ModalCallbackFunction::create ([onReinstall] (int result) {
                                            if (result != 0)
                                                onReinstall();
                                        }));
}

void FirmwareUpdateComponent::endWait()
{
    stopTimer();
    waitingForVerdict = false;
    sameVersionAnswered = false;
    updateInProgress = false;
    progress = 0.0;
    updateInformationLabel->setText (updateInformationText, juce::dontSendNotification);
    updateButtonState();
}

void FirmwareUpdateComponent::firmwareProgressChanged (FirmwareSysexSender*, double value)
{
    stopTimer();
    progress = value;
    updateButtonState();

    if (value == 1.0)
    {
        // Every slice went out, but that proves nothing yet: the engine tells
        // once the machine has shown whether it runs the new image.
        waitingForVerdict = true;
        updateInformationLabel->setText (waitingText (0), juce::dontSendNotification);
        startTimer (waitDisplayIntervalMs);
    }
    else
    {
        startTimer (watchdogIntervalMs);
    }
}

void FirmwareUpdateComponent::firmwareStatusChanged (FirmwareSysexSender*, const juce::String&) {}

void FirmwareUpdateComponent::firmwareUpdateVerdict (FirmwareTransfer::Verdict verdict)
{
    using Verdict = FirmwareTransfer::Verdict;
    if (! waitingForVerdict)
        return;

    if (verdict == Verdict::complete)
    {
        stopTimer();
        waitingForVerdict = false;
        updateInProgress = false;
        updateInformationLabel->setText (completeText, juce::dontSendNotification);
        updateButtonState();
        showMessageBox (completeTitle, completeMessage, new AlertWindowCallback (this));
    }
    else if (verdict == Verdict::notAccepted)
    {
        // Ready again before the question: Cancel leaves a window that says
        // what it can do, and Try Again starts from there.
        endWait();
        askToTryAgain ([target = safeThis] {
            if (auto* component = target.getComponent())
                component->startUpdate();
        });
    }
    else
    {
        sameVersionAnswered = verdict == Verdict::sameVersion;
        updateInformationLabel->setText (sameVersionAnswered ? sameVersionText() : waitingText (tuneEngine->getFirmwareWaitMs()),
                                         juce::dontSendNotification);
        updateButtonState();
    }
}

void FirmwareUpdateComponent::timerCallback()
{
    if (waitingForVerdict)
    {
        if (! sameVersionAnswered)
            updateInformationLabel->setText (waitingText (tuneEngine->getFirmwareWaitMs()), juce::dontSendNotification);
        return;
    }

    stopTimer();
    showMessageBox (timedOutTitle, timedOutMessage, nullptr);
    tuneEngine->cancelFirmwareUpdate();
    // updateInProgress stays set: this window makes no second attempt.
    updateButtonState();
}

//==============================================================================
void FirmwareUpdateComponent::tuningStarted()
{
    tuningInProgress = true;
    updateButtonState();
}

void FirmwareUpdateComponent::tuningStopped()
{
    tuningInProgress = false;
    updateButtonState();
}

void FirmwareUpdateComponent::tuningFailed()
{
    tuningInProgress = false;
    updateButtonState();
}

void FirmwareUpdateComponent::firmwareVersionReceived (double version)
{
    detectedVersion = version;
    // Never wait for the message thread here: it may be waiting for this
    // thread in removeStatusListener.
    juce::MessageManager::callAsync ([target = safeThis, version] {
        if (auto* component = target.getComponent())
            component->showDetectedVersion (version);
    });
}

void FirmwareUpdateComponent::showDetectedVersion (double version)
{
    currentVersionLabel->setText (versionText (version), juce::dontSendNotification);
}

void FirmwareUpdateComponent::frequencyDetected (float) {}
void FirmwareUpdateComponent::tuningNoteChanged (int) {}
void FirmwareUpdateComponent::tuningProgressChanged (double) {}
