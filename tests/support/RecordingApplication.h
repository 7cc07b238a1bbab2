#pragma once

#include "app/KestruneTuningUtilityApplication.h"

// The application object without initialise(), its warning boxes and its
// quit recorded instead of shown and done.
struct RecordingApplication : KestruneTuningUtilityApplication
{
    static juce::JUCEApplicationBase* noApplication() { return nullptr; }

    RecordingApplication() { juce::JUCEApplicationBase::createInstance = &noApplication; }
    ~RecordingApplication() override
    {
        tuneEngine = nullptr;
        midiManager = nullptr;
        juce::JUCEApplicationBase::createInstance = nullptr;
    }

    void showMessageBox (const juce::String& title, const juce::String& message) override
    {
        boxes.add (title);
        messages.add (message);
    }
    void quitNow() override { ++quits; }
    // The file the user picks in any file dialog (none: cancelled).
    void chooseFile (const juce::String& title, const juce::String&, bool, std::function<void (const juce::File&)> chosen,
                     const juce::File&) override
    {
        dialogs.add (title);
        if (fileToChoose != juce::File())
            chosen (fileToChoose);
    }
    void askToLoadCalibration (const juce::String& question, std::function<void()> onOk) override
    {
        questions.add (question);
        if (answerOk)
            onOk();
    }

    void askToRestoreCalibration (std::function<void()> onOk) override
    {
        questions.add (restoreQuestionTitle);
        if (answerOk)
            onOk();
    }

    juce::StringArray boxes, messages, dialogs, questions;
    juce::File fileToChoose;
    bool answerOk = true;
    int quits = 0;
};
