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

    void showMessageBox (const juce::String& title, const juce::String&) override { boxes.add (title); }
    void quitNow() override { ++quits; }

    juce::StringArray boxes;
    int quits = 0;
};
