#pragma once

#include <optional>

// Decides, from what the machine shows after an update request, whether it
// runs the image just sent. A reply of the new version alone proves nothing:
// a machine already on it answers the same whether or not the image arrived.
// It counts only once the machine was seen leaving its old firmware: its boot
// loader answered, its port went away and came back after the stream, or it
// answered a version other than the one it had before.
//
// Message thread only.
class FirmwareUpdateEvidence
{
public:
    enum class Verdict
    {
        streaming,      // the image is still going out
        waiting,        // nothing conclusive yet
        sameVersion,    // answers the new version as before, and has shown no restart
        complete,       // the new version answered after the machine left its old firmware
        notAccepted     // the boot loader, or an older version after a restart, answered
    };

    // versionBefore: the last version the machine answered, none when it never has.
    void begin (std::optional<double> versionBefore);
    void streamEnded();
    void versionReported (double version);
    void portWentAway();
    void portCameBack();

    Verdict getVerdict() const { return verdict; }

    // Answers below this come from the boot loader, not from a firmware.
    static constexpr double bootLoaderBelow = 1.0;

private:
    std::optional<double> before;
    bool ended = false;
    bool away = false;
    bool restarted = false;
    bool bootLoaderSeen = false;
    Verdict verdict = Verdict::streaming;
};
