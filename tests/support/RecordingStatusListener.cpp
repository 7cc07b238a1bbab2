#include "RecordingStatusListener.h"

#include <sstream>

namespace enginetest
{
namespace
{
std::string text (const char* prefix, double value)
{
    std::ostringstream stream;
    stream << prefix << value;
    return stream.str();
}
} // namespace

void RecordingStatusListener::frequencyDetected (float hz) { add (text ("frequency ", hz)); }
void RecordingStatusListener::tuningProgressChanged (double progress) { add (text ("progress ", progress)); }
void RecordingStatusListener::firmwareVersionReceived (double version) { add (text ("version ", version)); }

void RecordingStatusListener::calibrationWriteFinished (const TuneKestruneEngine::CalibrationWriteOutcome& outcome)
{
    using Kind = TuneKestruneEngine::CalibrationWriteKind;
    const char* kind = outcome.kind == Kind::newCalibration   ? "new"
                       : outcome.kind == Kind::undo           ? "undo"
                       : outcome.kind == Kind::load           ? "load"
                       : outcome.kind == Kind::restoreDefault ? "default"
                                                              : "restore";
    add (std::string ("written ") + kind + (outcome.stored ? " stored" : " not stored")
         + (outcome.unconfirmedNotes.isEmpty() ? "" : " " + std::to_string (outcome.unconfirmedNotes.size()))
         + (outcome.stored ? "" : outcome.machineAsFound ? ", as found" : ", left changed " + std::to_string (outcome.notesLeftChanged.size())));
}

void RecordingStatusListener::add (const std::string& event)
{
    const std::lock_guard<std::mutex> g (mutex);
    events.push_back (event);
}

std::vector<std::string> RecordingStatusListener::all() const
{
    const std::lock_guard<std::mutex> g (mutex);
    return events;
}

std::vector<std::string> RecordingStatusListener::milestones() const
{
    std::vector<std::string> result;
    for (const auto& e : all())
        if (e.rfind ("frequency", 0) != 0 && (e.rfind ("progress", 0) != 0 || e == "progress 1"))
            result.push_back (e);
    return result;
}

void RecordingStatusListener::clear()
{
    const std::lock_guard<std::mutex> g (mutex);
    events.clear();
}
} // namespace enginetest
