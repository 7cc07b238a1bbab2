#pragma once

#include "look/CustomLook.h"
#include "tuning/TuneKestruneEngine.h"
#include "tuning/TuningCheck.h"
#include "ui/ProgressDisplayWithBackground.h"
#include "ui/TuningCheckChart.h"

#include <juce_gui_basics/juce_gui_basics.h>

#include <functional>
#include <memory>
#include <vector>

// Content of the tuning check window: runs the engine's tuning check, shows
// its progress with a STOP button, then the chart of every note's cents off
// its target, the worst note, how many lie within 5 cents, and Save… for
// the CSV. A check that stops on its own says why in a message box.
class TuningCheckComponent : public juce::Component,
                             public TuningCheck::Listener,
                             public juce::Button::Listener
{
public:
    static constexpr const char* saveDialogTitle = "Write Tuning Check Output File";
    static constexpr const char* noAudioTitle = "No Audio Input";
    static constexpr const char* noNoteHeardTitle = "No Note Heard";
    static constexpr const char* noteNotSentTitle = "Notes Not Sent";
    static constexpr const char* notWrittenTitle = "Unable to Write Tuning Check File";

    explicit TuningCheckComponent (TuneKestruneEngine::Ptr engine);
    // Stops a check still running: the engine must not call a listener gone.
    ~TuningCheckComponent() override;

    // Starts a check from the first note; false, changing nothing, when the
    // engine refuses (a calibration, a firmware transfer or a check runs).
    bool startCheck();
    bool isChecking() const { return checking; }

    void resized() override;
    void buttonClicked (juce::Button* button) override;

    void tuningCheckProgressChanged (int nextNote, double progress) override;
    void tuningCheckFinished (const std::vector<TuningCheck::Row>& rows) override;
    void tuningCheckFailed (TuningCheck::State reason) override;

    const TuningCheckChart& getChart() const { return chart; }
    juce::String getStatusText() const { return statusLabel.getText(); }
    juce::String getSummaryText() const { return summaryLabel.getText(); }
    double getProgress() const { return progressDisplay.getProgress(); }
    bool canSave() const { return saveButton.isVisible() && saveButton.isEnabled(); }
    bool canStop() const { return stopButton.isVisible(); }

    // "Worst note: D#3 at +12.3 cents. 35 of 40 notes within 5 cents."
    static juce::String summaryText (const std::vector<TuningCheck::Row>& rows);
    // The title and the message for a check that stopped on its own; the
    // channel is the analysed input channel, counted from 1.
    static std::pair<juce::String, juce::String> failureText (TuningCheck::State reason, int channel);

protected:
    // An asynchronous warning box; tests record it instead.
    virtual void showMessageBox (const juce::String& title, const juce::String& message);
    // Asks where to save; calls back with the file chosen, not at all on cancel.
    virtual void chooseFileToSave (std::function<void (const juce::File&)> onChosen);

private:
    void showMeasuring (int note, double progress);
    void showStopped (const juce::String& status);
    void save();

    // Declared first so that it outlives every child that draws with it.
    CustomLook customLook;

    juce::ImageComponent background;
    juce::Label statusLabel;
    TuningCheckChart chart;
    juce::Label summaryLabel;
    ProgressDisplayWithBackground progressDisplay;
    juce::ImageButton stopButton;
    juce::ImageButton saveButton;

    TuneKestruneEngine::Ptr tuneEngine;
    bool checking = false;
    std::vector<TuningCheck::Row> rows;
    std::unique_ptr<juce::FileChooser> fileChooser;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (TuningCheckComponent)
};
