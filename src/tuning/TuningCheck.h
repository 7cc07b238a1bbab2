#pragma once

#include "core/MillisecondClock.h"
#include "midi/DeviceMessages.h"
#include "midi/MidiManager.h"
#include "tuning/AnalysisInput.h"
#include "tuning/DetectTuneAudioCallback.h"

#include <array>
#include <vector>

// Measures how each note 24 to 63 sounds now, with the calibration the
// machine holds and its Tune knob where it is. Sounds one note at a time,
// waits until the analysis has two whole frames of audio that followed the
// note-on, takes the mean of several estimates from newly analysed frames,
// less the highest and the lowest, and releases the note. Low notes take
// more: the voice's jitter is a larger share of their pitch, and a frame
// spans fewer of their periods.
//
// Stepped by the engine tick on the message thread; never waits for anything.
// Gives up when no frame is analysed for a while (no audio reaches the
// analysis) or when a note is not heard (silence, noise, a channel that does
// not carry the machine).
class TuningCheck
{
public:
    static constexpr int firstNote = DeviceMessages::firstCalibratedNote;
    static constexpr int lastNote = DeviceMessages::lastCalibratedNote;
    static constexpr int numNotes = DeviceMessages::numCalibratedNotes;
    static constexpr int maxEstimatesPerNote = 9;
    static int estimatesFor (int note) { return note <= 35 ? maxEstimatesPerNote : note <= 47 ? 5 : 3; }
    // A frame comes every 8192 samples: 0.19 s at 44.1 kHz, 1 s at 8 kHz.
    static constexpr juce::uint32 noAudioTimeoutMs = 2000;
    // Below -60 dBFS the input carries no note: far under any bass voice at
    // a usable gain, above the noise floor of an interface.
    static constexpr float silencePeak = 0.001f;
    // A held note's estimates agree within a few cents; noise does not.
    static constexpr double steadyPitchCents = 50.0;

    struct Row
    {
        int note = 0;
        double targetHz = 0.0;
        double measuredHz = 0.0;
        double cents = 0.0;
    };

    enum class State
    {
        measuring,
        finished,
        noAudio,        // no frame analysed: no input, or the chosen channel is not active
        noNoteHeard,    // frames, but silence or no steady pitch in them
        noteNotSent,    // no open MIDI output took the note
        stopped         // by stop() before the last note
    };

    // Told by the engine, on the message thread, after each tick's step.
    class Listener
    {
    public:
        virtual ~Listener() = default;
        // A note has been measured; nextNote sounds now.
        virtual void tuningCheckProgressChanged (int nextNote, double progress) = 0;
        // All 40 notes measured, in note order.
        virtual void tuningCheckFinished (const std::vector<Row>& rows) = 0;
        // The check stopped on its own, for the reason given.
        virtual void tuningCheckFailed (State reason) = 0;
    };

    TuningCheck (MidiManager::Ptr midiManager, AnalysisInput::Ptr input, DetectTuneAudioCallback::Ptr analysis,
                 MillisecondClock& clock);
    // Releases a note still sounding.
    ~TuningCheck();

    // Sounds the first note.
    void start();
    // One step of the measurement; the state afterwards. Once the state is
    // not measuring, no note sounds and further steps change nothing.
    State step();
    // Releases the sounding note at once.
    void stop();

    State getState() const { return state; }
    int getCurrentNote() const { return currentNote; }
    // Notes measured / 40.
    double getProgress() const;
    const std::vector<Row>& getRows() const { return rows; }

    // 440 * 2^((note - 69) / 12): the pitches the calibration tunes to.
    static double targetFrequency (int note);
    static double centsBetween (double measuredHz, double targetHz);

private:
    void soundNote();
    void releaseNote();
    State fail (State reason);
    bool isSteadyNote (double median) const;

    MidiManager::Ptr midiManager;
    AnalysisInput::Ptr input;
    DetectTuneAudioCallback::Ptr analysis;
    MillisecondClock& clock;

    State state = State::measuring;
    int currentNote = firstNote;
    bool noteSounding = false;
    juce::uint32 pitchChangeMark = 0;
    juce::uint64 framesAtLastEstimate = 0;
    juce::uint64 framesSeen = 0;
    juce::uint32 lastFrameMs = 0;
    std::array<float, maxEstimatesPerNote> estimates {};
    int numEstimates = 0;
    float loudestPeak = 0.0f;
    std::vector<Row> rows;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (TuningCheck)
};
