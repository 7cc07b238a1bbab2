#include "TuningCheckComponent.h"

#include "EmbeddedData.h"
#include "EmbeddedPictures.h"
#include "tuning/TuningCheckReport.h"

namespace
{
constexpr auto picture = EmbeddedPictures::load;
constexpr auto setButtonImages = EmbeddedPictures::setButtonImages;

void styleLabel (juce::Label& label, float height)
{
    label.setColour (juce::Label::textColourId, juce::Colours::white);
    label.setFont (juce::Font (height, juce::Font::plain));
    label.setJustificationType (juce::Justification::centredLeft);
}

juce::String signedCents (double cents)
{
    const auto text = juce::String (cents, 1);
    return cents >= 0.05 ? "+" + text : text == "-0.0" ? juce::String ("0.0") : text;
}

juce::String noteOfNumber (int note)
{
    return TuningCheckReport::noteName (note) + " (" + juce::String (note - TuningCheck::firstNote + 1) + " of "
           + juce::String (TuningCheck::numNotes) + ")";
}
} // namespace

TuningCheckComponent::TuningCheckComponent (TuneKestruneEngine::Ptr engine)
    : statusLabel ("Tuning Check Status"),
      summaryLabel ("Tuning Check Summary"),
      progressDisplay (picture (EmbeddedData::progressBackground, EmbeddedData::progressBackgroundSize)),
      stopButton ("Stop Tuning Check Button"),
      saveButton ("Save Tuning Check Button"),
      tuneEngine (std::move (engine))
{
    setLookAndFeel (&customLook);

    const auto backgroundPicture = picture (EmbeddedData::checkBackground, EmbeddedData::checkBackgroundSize);
    background.setImage (backgroundPicture);
    addAndMakeVisible (background);

    styleLabel (statusLabel, 15.0f);
    addAndMakeVisible (statusLabel);
    addAndMakeVisible (chart);
    styleLabel (summaryLabel, 15.0f);
    addAndMakeVisible (summaryLabel);

    progressDisplay.setSize (408, 32);
    addChildComponent (progressDisplay);

    setButtonImages (stopButton,
                     picture (EmbeddedData::stopCheckButtonNormal, EmbeddedData::stopCheckButtonNormalSize),
                     picture (EmbeddedData::stopCheckButtonOver, EmbeddedData::stopCheckButtonOverSize),
                     picture (EmbeddedData::stopCheckButtonDown, EmbeddedData::stopCheckButtonDownSize));
    stopButton.setButtonText ("STOP");
    setButtonImages (saveButton, picture (EmbeddedData::saveButtonNormal, EmbeddedData::saveButtonNormalSize),
                     picture (EmbeddedData::saveButtonOver, EmbeddedData::saveButtonOverSize),
                     picture (EmbeddedData::saveButtonDown, EmbeddedData::saveButtonDownSize));
    saveButton.setButtonText (juce::String (juce::CharPointer_UTF8 ("Save\xe2\x80\xa6")));
    addChildComponent (stopButton);
    addChildComponent (saveButton);
    stopButton.addListener (this);
    saveButton.addListener (this);

    setSize (backgroundPicture.getWidth(), backgroundPicture.getHeight());
}

TuningCheckComponent::~TuningCheckComponent()
{
    if (checking)
        tuneEngine->stopTuningCheck();
    stopButton.removeListener (this);
    saveButton.removeListener (this);
    setLookAndFeel (nullptr);
}

void TuningCheckComponent::resized()
{
    background.setBounds (getLocalBounds());
    statusLabel.setBounds (16, 42, 668, 22);
    chart.setBounds (20, 68, 660, 330);
    summaryLabel.setBounds (16, 402, 668, 22);
    progressDisplay.setTopLeftPosition (24, 446);
    stopButton.setBounds (565, 434, 115, 56);
    saveButton.setBounds (stopButton.getBounds());
}

bool TuningCheckComponent::startCheck()
{
    if (checking || ! tuneEngine->startTuningCheck (this))
        return false;

    checking = true;
    rows.clear();
    chart.clear();
    summaryLabel.setText ({}, juce::dontSendNotification);
    saveButton.setVisible (false);
    stopButton.setVisible (true);
    progressDisplay.setVisible (true);
    showMeasuring (TuningCheck::firstNote, 0.0);
    return true;
}

void TuningCheckComponent::showMeasuring (int note, double progress)
{
    progressDisplay.setProgress (progress);
    statusLabel.setText ("Measuring " + noteOfNumber (note), juce::dontSendNotification);
}

void TuningCheckComponent::showStopped (const juce::String& status)
{
    checking = false;
    stopButton.setVisible (false);
    progressDisplay.setVisible (false);
    statusLabel.setText (status, juce::dontSendNotification);
}

void TuningCheckComponent::buttonClicked (juce::Button* button)
{
    if (button == &stopButton && checking)
    {
        tuneEngine->stopTuningCheck();
        showStopped ("Check stopped.");
    }
    else if (button == &saveButton && ! rows.empty())
    {
        save();
    }
}

void TuningCheckComponent::tuningCheckProgressChanged (int nextNote, double progress)
{
    showMeasuring (nextNote, progress);
}

void TuningCheckComponent::tuningCheckFinished (const std::vector<TuningCheck::Row>& measured)
{
    rows = measured;
    // The machine sounds its working table, which a write it did not confirm
    // may have left different from the stored one.
    showStopped (tuneEngine->hasUnrestoredChanges()
                     ? "Every note measured with the values the Kestrune holds now, which may differ from its stored "
                       "calibration, and the Tune knob where it is."
                     : "Every note measured with the stored calibration and the Tune knob where it is.");
    chart.setRows (rows);
    summaryLabel.setText (summaryText (rows), juce::dontSendNotification);
    saveButton.setVisible (true);
}

void TuningCheckComponent::tuningCheckFailed (TuningCheck::State reason)
{
    const auto [title, message] = failureText (reason, tuneEngine->getAnalysedInputChannel() + 1);
    showStopped (title + ".");
    showMessageBox (title, message);
}

juce::String TuningCheckComponent::summaryText (const std::vector<TuningCheck::Row>& measured)
{
    if (measured.empty())
        return {};
    const TuningCheck::Row* worst = &measured.front();
    int within = 0;
    for (const auto& row : measured)
    {
        if (std::abs (row.cents) > std::abs (worst->cents))
            worst = &row;
        if (std::abs (row.cents) <= TuningCheckChart::bandCents)
            ++within;
    }
    return "Worst note: " + TuningCheckReport::noteName (worst->note) + " at " + signedCents (worst->cents)
           + " cents. " + juce::String (within) + " of " + juce::String ((int) measured.size())
           + " notes within 5 cents.";
}

std::pair<juce::String, juce::String> TuningCheckComponent::failureText (TuningCheck::State reason, int channel)
{
    const auto channelText = "audio input channel " + juce::String (channel);
    switch (reason)
    {
        case TuningCheck::State::noAudio:
            return { noAudioTitle,
                     "No audio arrived from " + channelText
                         + ". Verify the audio input device in File > Preferences, and that the channel chosen "
                           "there under Audio Input Chnl is one the device has and the Kestrune's Synth Output is "
                           "connected to." };
        case TuningCheck::State::noNoteHeard:
            return { noNoteHeardTitle,
                     "The Kestrune's notes were not heard on " + channelText
                         + ": the input is silent or carries no steady pitch. Verify that the Kestrune's Synth "
                           "Output is connected to that input and its Bass Synth VOLUME is up, and that the channel "
                           "chosen under Audio Input Chnl in File > Preferences is the one it is connected to." };
        case TuningCheck::State::noteNotSent:
            return { noteNotSentTitle,
                     "The notes could not be sent to the Kestrune: no MIDI output took them. Verify MIDI Settings "
                     "in File > Preferences." };
        case TuningCheck::State::measuring:
        case TuningCheck::State::finished:
        case TuningCheck::State::stopped: break;
    }
    return { "Check Stopped", "The tuning check stopped." };
}

void TuningCheckComponent::save()
{
    const juce::Component::SafePointer<TuningCheckComponent> safeThis (this);
    chooseFileToSave ([safeThis] (const juce::File& file) {
        auto* component = safeThis.getComponent();
        if (component == nullptr)
            return;
        if (! TuningCheckReport::write (file, component->rows))
            component->showMessageBox (notWrittenTitle,
                                       "The tuning check could not be written to " + file.getFullPathName() + ".");
    });
}

void TuningCheckComponent::showMessageBox (const juce::String& title, const juce::String& message)
{
    juce::AlertWindow::showMessageBoxAsync (juce::MessageBoxIconType::WarningIcon, title, message);
}

void TuningCheckComponent::chooseFileToSave (std::function<void (const juce::File&)> onChosen)
{
    fileChooser = std::make_unique<juce::FileChooser> (saveDialogTitle, juce::File(), "*.csv", true);
    const auto flags = juce::FileBrowserComponent::saveMode | juce::FileBrowserComponent::canSelectFiles
                       | juce::FileBrowserComponent::warnAboutOverwriting;
    fileChooser->launchAsync (flags, [onChosen = std::move (onChosen)] (const juce::FileChooser& chooser) {
        const auto file = chooser.getResult();
        if (file != juce::File())
            onChosen (file);
    });
}
