#include "TuningCheck.h"

#include "midi/DeviceMessages.h"

#include <algorithm>
#include <cmath>

TuningCheck::TuningCheck (MidiManager::Ptr manager, AnalysisInput::Ptr analysisInput,
                          DetectTuneAudioCallback::Ptr detector, MillisecondClock& clockToUse)
    : midiManager (std::move (manager)), input (std::move (analysisInput)), analysis (std::move (detector)),
      clock (clockToUse)
{
    jassert (midiManager != nullptr && input != nullptr && analysis != nullptr);
    rows.reserve ((size_t) numNotes);
}

TuningCheck::~TuningCheck()
{
    releaseNote();
}

double TuningCheck::targetFrequency (int note)
{
    // The calibration's own targets.
    return juce::MidiMessage::getMidiNoteInHertz (note, 440.0);
}

double TuningCheck::centsBetween (double measuredHz, double targetHz)
{
    return 1200.0 * std::log2 (measuredHz / targetHz);
}

double TuningCheck::getProgress() const
{
    return (double) rows.size() / numNotes;
}

void TuningCheck::start()
{
    framesSeen = input->getNumFrames();
    lastFrameMs = clock.getMillisecondCounter();
    soundNote();
}

void TuningCheck::stop()
{
    releaseNote();
    if (state == State::measuring)
        state = State::stopped;
}

void TuningCheck::soundNote()
{
    numEstimates = 0;
    loudestPeak = 0.0f;
    const auto taken = midiManager->sendMessageToAllOutputs (DeviceMessages::noteOn (currentNote));
    // Right after the note-on, as a tuning algorithm marks a new value.
    pitchChangeMark = input->markPitchChange();
    noteSounding = true;
    if (taken == 0)
        fail (State::noteNotSent);
}

void TuningCheck::releaseNote()
{
    if (! noteSounding)
        return;
    noteSounding = false;
    midiManager->sendMessageToAllOutputs (DeviceMessages::noteOff (currentNote));
}

TuningCheck::State TuningCheck::fail (State reason)
{
    releaseNote();
    state = reason;
    return state;
}

bool TuningCheck::isSteadyNote (double median) const
{
    if (! (median > 0.0) || ! std::isfinite (median) || loudestPeak < silencePeak)
        return false;
    const auto [lowest, highest] = std::minmax_element (estimates.begin(), estimates.begin() + numEstimates);
    return *lowest > 0.0f && centsBetween (*highest, *lowest) <= steadyPitchCents;
}

TuningCheck::State TuningCheck::step()
{
    if (state != State::measuring)
        return state;

    const auto now = clock.getMillisecondCounter();
    // The count first: a frame it includes has its estimate and peak published.
    const auto frames = input->getNumFrames();
    const auto peak = input->getLastFramePeak();
    const auto hz = analysis->getFrequency();

    if (frames != framesSeen)
    {
        framesSeen = frames;
        lastFrameMs = now;
    }
    else if (now - lastFrameMs >= noAudioTimeoutMs)
    {
        return fail (State::noAudio);
    }

    // The estimate of the second clean frame is the first that compares
    // clean with clean: it is the first of the three. Asked again for each,
    // so that a device restart meanwhile waits for two new frames too.
    if (! input->hasSettledSince (pitchChangeMark, frames) || frames == framesAtLastEstimate)
        return state;

    framesAtLastEstimate = frames;
    estimates[(size_t) numEstimates++] = hz;
    loudestPeak = std::max (loudestPeak, peak);
    if (numEstimates < estimatesFor (currentNote))
        return state;

    auto sorted = estimates;
    std::sort (sorted.begin(), sorted.begin() + numEstimates);
    if (! isSteadyNote (sorted[(size_t) numEstimates / 2]))
        return fail (State::noNoteHeard);
    // The mean in octaves, without the two outermost estimates.
    double octaves = 0.0;
    for (int i = 1; i < numEstimates - 1; ++i)
        octaves += std::log2 ((double) sorted[(size_t) i]);
    const double measured = std::exp2 (octaves / (numEstimates - 2));

    const auto target = targetFrequency (currentNote);
    rows.push_back ({ currentNote, target, measured, centsBetween (measured, target) });
    releaseNote();

    if (currentNote == lastNote)
    {
        state = State::finished;
        return state;
    }

    ++currentNote;
    soundNote();
    return state;
}
