#include "MidiGarbage.h"

#include "midi/DeviceMessages.h"

namespace
{
std::vector<juce::uint8> bytesOf (const juce::MidiMessage& message)
{
    const auto* data = message.getRawData();
    return { data, data + message.getRawDataSize() };
}
} // namespace

MidiGarbage::MidiGarbage (juce::int64 seed) : random (seed) {}

bool MidiGarbage::looksLikeReply (const std::vector<juce::uint8>& message)
{
    if (message.empty())
        return false;
    const auto midi = DeviceMessages::rawBytes (message.data(), (int) message.size());
    return DeviceMessages::parseCalibrationValueReply (midi).has_value()
           || DeviceMessages::parseIdentityReplyVersion (midi).has_value();
}

juce::uint8 MidiGarbage::realTimeByte()
{
    // Clock, start, continue, stop, active sensing, reset, and the two undefined ones.
    static constexpr juce::uint8 bytes[] = { 0xF8, 0xF9, 0xFA, 0xFB, 0xFC, 0xFD, 0xFE, 0xFF };
    return bytes[random.nextInt ((int) std::size (bytes))];
}

void MidiGarbage::sprinkleRealTime (std::vector<juce::uint8>& bytes, int maxBytes)
{
    if (random.nextInt (3) != 0)
        return;
    for (int n = 1 + random.nextInt (3); n > 0 && (int) bytes.size() < maxBytes; --n)
        bytes.insert (bytes.begin() + random.nextInt ((int) bytes.size() + 1), realTimeByte());
}

std::vector<juce::uint8> MidiGarbage::replyStart()
{
    const auto note = DeviceMessages::firstCalibratedNote + random.nextInt (DeviceMessages::numCalibratedNotes);
    return bytesOf (random.nextBool() ? DeviceMessages::calibrationValueReply (note, (juce::uint16) random.nextInt (0x10000))
                                      : DeviceMessages::identityReply (0, 1, 0, (juce::uint8) random.nextInt (10)));
}

std::vector<juce::uint8> MidiGarbage::makeEvent (Kind& kind)
{
    std::vector<juce::uint8> bytes;
    if (oversizedLeft > 0)
    {
        // The rest of an oversized SysEx: data bytes, and its end at last.
        kind = Kind::oversizedSysex;
        const auto n = juce::jmin (oversizedLeft, maxEventBytes - 4);
        for (int i = 0; i < n; ++i)
            bytes.push_back ((juce::uint8) random.nextInt (0x80));
        oversizedLeft -= n;
        if (oversizedLeft == 0)
            bytes.push_back (0xF7);
        sprinkleRealTime (bytes, maxEventBytes);
        return bytes;
    }

    kind = (Kind) random.nextInt ((int) Kind::numKinds);
    switch (kind)
    {
        case Kind::randomBytes:
            for (int n = 1 + random.nextInt (64); n > 0; --n)
                bytes.push_back ((juce::uint8) random.nextInt (0x100));
            break;
        case Kind::truncatedFrame:
            bytes = replyStart();
            bytes.resize ((size_t) (2 + random.nextInt ((int) bytes.size() - 3)));
            bytes.push_back (0xF7);
            break;
        case Kind::unterminatedSysex:
            bytes = replyStart();
            bytes.resize ((size_t) (1 + random.nextInt ((int) bytes.size() - 1)));
            break;
        case Kind::oversizedSysex:
            bytes = replyStart();
            bytes.pop_back();
            oversizedLeft = oversizedDataBytes;
            break;
        case Kind::lyingLength:
        {
            // A calibration value frame that says 5 data bytes and carries 0 to 12.
            bytes = { 0xF0, 0x47, 0x00, 0x2A, 0x24, 0x00, 0x05 };
            auto n = random.nextInt (13);
            if (n == 5)
                n = 6;
            for (int i = 0; i < n; ++i)
                bytes.push_back ((juce::uint8) random.nextInt (0x80));
            bytes.push_back (0xF7);
            break;
        }
        case Kind::numKinds: break;
    }
    sprinkleRealTime (bytes, maxEventBytes);
    return bytes;
}

std::vector<juce::uint8> MidiGarbage::nextEvent()
{
    for (;;)
    {
        const auto oversizedBefore = oversizedLeft;
        Kind kind {};
        auto event = makeEvent (kind);

        auto trial = receiver;
        bool harmless = true;
        for (auto byte : event)
            if (trial.push (byte) && looksLikeReply (trial.message()))
                harmless = false;

        if (harmless)
        {
            receiver = trial;
            if (oversizedBefore == 0)
                ++counts[(size_t) kind];
            return event;
        }
        oversizedLeft = oversizedBefore;
    }
}

std::vector<juce::uint8> MidiGarbage::sprinkle (const juce::MidiMessage& reply)
{
    auto bytes = bytesOf (reply);
    if (bytes.size() >= 2)
        bytes.insert (bytes.begin() + 1 + random.nextInt ((int) bytes.size() - 1), realTimeByte());
    for (auto byte : bytes)
        receiver.push (byte);
    return bytes;
}
