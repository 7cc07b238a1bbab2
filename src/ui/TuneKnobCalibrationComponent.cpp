#include "TuneKnobCalibrationComponent.h"

#include "EmbeddedData.h"
#include "EmbeddedPictures.h"
#include "core/DeferredWindowDeletion.h"
#include "midi/DeviceMessages.h"

#include <cmath>

namespace
{
constexpr auto picture = EmbeddedPictures::load;

// Decoded once; every later request is a cache look-up.
juce::Image clockwiseArrowOff()
{
    return picture (EmbeddedData::clockwiseArrowOff, EmbeddedData::clockwiseArrowOffSize);
}
juce::Image clockwiseArrowOn()
{
    return picture (EmbeddedData::clockwiseArrowOn, EmbeddedData::clockwiseArrowOnSize);
}
juce::Image counterClockwiseArrowOff()
{
    return picture (EmbeddedData::counterClockwiseArrowOff, EmbeddedData::counterClockwiseArrowOffSize);
}
juce::Image counterClockwiseArrowOn()
{
    return picture (EmbeddedData::counterClockwiseArrowOn, EmbeddedData::counterClockwiseArrowOnSize);
}
juce::Image headOff()
{
    return picture (EmbeddedData::headOff, EmbeddedData::headOffSize);
}
juce::Image headOn()
{
    return picture (EmbeddedData::headOn, EmbeddedData::headOnSize);
}

void showImage (juce::ImageComponent& component, const juce::Image& image)
{
    component.setImage (image);
    component.setSize (image.getWidth(), image.getHeight());
}
} // namespace

TuneKnobCalibrationComponent::TuneKnobCalibrationComponent (TuneKestruneEngine::Ptr engine)
    : infoLabel ("Tuning Info Label", getInstructionText()), tuneEngine (engine)
{
    showImage (background, picture (EmbeddedData::knobBackground, EmbeddedData::knobBackgroundSize));

    tuneEngine->addStatusListener (this);

    addAndMakeVisible (background);
    addAndMakeVisible (clockwiseArrow);
    addAndMakeVisible (counterClockwiseArrow);
    addAndMakeVisible (head);
    addAndMakeVisible (continueButton);

    showImage (clockwiseArrow, clockwiseArrowOff());
    showImage (head, headOff());
    showImage (counterClockwiseArrow, counterClockwiseArrowOff());

    const auto clear = juce::Colours::transparentBlack;
    const auto normal = picture (EmbeddedData::continueButtonNormal, EmbeddedData::continueButtonNormalSize);
    continueButton.setImages (true, true, true, normal, 1.0f, clear,
                              picture (EmbeddedData::continueButtonOver, EmbeddedData::continueButtonOverSize), 1.0f,
                              clear, picture (EmbeddedData::continueButtonDown, EmbeddedData::continueButtonDownSize),
                              1.0f, clear, 0.0f);
    continueButton.setSize (normal.getWidth(), normal.getHeight());

    continueButton.addListener (this);
    addAndMakeVisible (infoLabel);
    infoLabel.setSize (400, 100);
    infoLabel.setColour (juce::Label::textColourId, juce::Colour (0xFFFFFFFF));

    setSize (background.getWidth(), background.getHeight());
}

TuneKnobCalibrationComponent::~TuneKnobCalibrationComponent()
{
    tuneEngine->removeStatusListener (this);
    continueButton.removeListener (this);
}

const juce::String& TuneKnobCalibrationComponent::getInstructionText()
{
    static const juce::String text =
        juce::String ("Adjust the Bass Synth's Tune knob in the direction indicated by the red arrow below. ")
        + "Continue adjusting until the kestrune's head is red. Once adjusted Click the Continue Callibration button.";
    return text;
}

double TuneKnobCalibrationComponent::getHighestFrequency()
{
    return juce::MidiMessage::getMidiNoteInHertz (DeviceMessages::firstCalibratedNote, 440.0);
}

void TuneKnobCalibrationComponent::resized()
{
    background.setBounds (0, 0, 400, 311);
    clockwiseArrow.setBounds (80, 150, 49, 104);
    head.setBounds (clockwiseArrow.getRight() - 35, clockwiseArrow.getY(), 120, 89);
    counterClockwiseArrow.setBounds (head.getRight(), clockwiseArrow.getY(), 49, 104);
    continueButton.setBounds (200, 250, 204, 56);
    infoLabel.setBounds (10, 40, 400, 100);
}

void TuneKnobCalibrationComponent::frequencyDetected (float hz)
{
    const auto f = (double) hz;
    const bool tooHigh = f > getHighestFrequency();
    // A value that is not a number is no measurement: treated like silence,
    // it must never enable Continue.
    const bool tooLow = ! tooHigh && ! (f >= lowestFrequency);

    clockwiseArrow.setImage (tooLow ? clockwiseArrowOn() : clockwiseArrowOff());
    head.setImage (tooHigh || tooLow ? headOff() : headOn());
    counterClockwiseArrow.setImage (tooHigh ? counterClockwiseArrowOn() : counterClockwiseArrowOff());
    continueButton.setEnabled (! tooHigh && ! tooLow);
}

void TuneKnobCalibrationComponent::buttonClicked (juce::Button* button)
{
    if (button != &continueButton)
        return;

    // A refused run must not leave the reference note sounding at our value.
    if (! tuneEngine->beginTuningRun())
    {
        windowClosing();
        showMessageBox (refusedTitle, refusedMessage);
    }
    closeWindow();
}

void TuneKnobCalibrationComponent::tuningStopped()
{
    closeWindow();
}

void TuneKnobCalibrationComponent::windowClosing()
{
    if (tuneEngine->isCalibrating() && ! tuneEngine->isTuning())
        tuneEngine->abortTuning();
}

void TuneKnobCalibrationComponent::closeWindow()
{
    // This component is the window's content: the window goes once the
    // current event has been handled.
    if (auto* window = getParentComponent())
        DeferredWindowDeletion::deleteSoon (window);
}

void TuneKnobCalibrationComponent::showMessageBox (const juce::String& title, const juce::String& message)
{
    juce::AlertWindow::showMessageBoxAsync (juce::MessageBoxIconType::WarningIcon, title, message);
}
