#include "FirmwareUpdateEvidence.h"

#include "midi/DeviceMessages.h"

#include <cmath>

namespace
{
bool sameVersion (double a, double b)
{
    return std::abs (a - b) < 0.005; // versions carry two decimals
}
} // namespace

void FirmwareUpdateEvidence::begin (std::optional<double> versionBefore)
{
    *this = {};
    before = versionBefore;
}

void FirmwareUpdateEvidence::streamEnded()
{
    ended = true;
    verdict = Verdict::waiting;
}

void FirmwareUpdateEvidence::portWentAway()
{
    // A port lost during the stream only breaks the stream; after it, the
    // machine restarting takes its port with it.
    away = ended;
}

void FirmwareUpdateEvidence::portCameBack()
{
    restarted = restarted || away;
    away = false;
}

void FirmwareUpdateEvidence::versionReported (double version)
{
    const bool bootLoader = version < bootLoaderBelow;
    bootLoaderSeen = bootLoaderSeen || bootLoader;
    if (! ended || verdict == Verdict::complete || verdict == Verdict::notAccepted)
        return;

    if (bootLoader)
    {
        // The image was not taken: only the loader is left to answer.
        verdict = Verdict::notAccepted;
        return;
    }

    const bool current = version >= DeviceMessages::latestFirmwareVersion - 0.005;
    const bool changed = before.has_value() && ! sameVersion (*before, version);
    const bool leftOldFirmware = restarted || bootLoaderSeen || changed;

    if (current)
        verdict = leftOldFirmware ? Verdict::complete : Verdict::sameVersion;
    else if (restarted || bootLoaderSeen)
        verdict = Verdict::notAccepted;   // restarted into the old firmware
    // An older version without a restart is the old firmware still running:
    // the owner has not pressed Play yet.
}
