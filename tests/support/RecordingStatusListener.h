#pragma once

#include "tuning/TuneKestruneEngine.h"

#include <mutex>
#include <string>
#include <vector>

namespace enginetest
{
// Records every status callback as text, from any thread.
class RecordingStatusListener : public TuneKestruneEngine::StatusListener
{
public:
    void frequencyDetected (float hz) override;
    void tuningNoteChanged (int note) override { add ("note " + std::to_string (note)); }
    void tuningStarted() override { add ("started"); }
    void tuningStopped() override { add ("stopped"); }
    void tuningFailed() override { add ("failed"); }
    void tuningProgressChanged (double progress) override;
    void firmwareVersionReceived (double version) override;
    // "written restore stored", "written new not stored 3" (unconfirmed notes)
    void calibrationWriteFinished (const TuneKestruneEngine::CalibrationWriteOutcome& outcome) override;

    // Events but frequencies and progress short of 1.
    std::vector<std::string> milestones() const;
    std::vector<std::string> all() const;
    void clear();

private:
    void add (const std::string& text);

    mutable std::mutex mutex;
    std::vector<std::string> events;
};
} // namespace enginetest
