#include "midi/DeviceMessages.h"
#include "support/Bytes.h"

#include <gtest/gtest.h>

namespace
{
juce::MidiMessage fromBytes (const Bytes& b) { return juce::MidiMessage (b.data(), (int) b.size()); }
} // namespace

TEST (DeviceMessages, MessagesHaveTheMachinesBytesAndRepliesAreRecognisedByLengthAndCommand)
{
    const std::pair<juce::MidiMessage, Bytes> outgoing[] = {
        { DeviceMessages::identityRequest(), { 0xF0, 0x7E, 0x00, 0x06, 0x01, 0xF7 } },
        { DeviceMessages::calibrationValueWrite (40, 0x1234), { 0xF0, 0x47, 0x00, 0x2A, 0x24, 0x00, 0x05, 0x28, 0x01, 0x02, 0x03, 0x04, 0xF7 } },
        { DeviceMessages::calibrationValueWrite (24, 0xFFFF), { 0xF0, 0x47, 0x00, 0x2A, 0x24, 0x00, 0x05, 0x18, 0x0F, 0x0F, 0x0F, 0x0F, 0xF7 } },
        { DeviceMessages::calibrationValueRequest (63), { 0xF0, 0x47, 0x00, 0x2A, 0x24, 0x00, 0x01, 0x3F, 0xF7 } },
        { DeviceMessages::calibrationCommit(), { 0xF0, 0x47, 0x00, 0x2A, 0x2A, 0x00, 0x00, 0xF7 } },
        { DeviceMessages::firmwareUpdateRequest(), { 0xF0, 0x47, 0x00, 0x2A, 0x72, 0x00, 0x00, 0xF7 } },
        { DeviceMessages::noteOn (24), { 0x90, 0x18, 0x7F } },
        { DeviceMessages::noteOff (63), { 0x80, 0x3F, 0x00 } },
    };
    for (const auto& [message, bytes] : outgoing)
        EXPECT_EQ (bytesOf (message), bytes);

    // Another maker's frame still counts; nibble bytes contribute their low four bits.
    const auto reply = DeviceMessages::parseCalibrationValueReply (fromBytes ({ 0xF0, 0x11, 0x22, 0x33, 0x24, 0x00, 0x05, 0x30, 0x71, 0x12, 0x5F, 0x04, 0xF7 }));
    EXPECT_TRUE (reply && reply->note == 0x30 && reply->value == 0x12F4);
    for (const auto& other : { DeviceMessages::calibrationValueRequest (30), DeviceMessages::noteOn (24),
                               fromBytes ({ 0xF0, 0x47, 0x00, 0x2A, 0x25, 0x00, 0x05, 0x18, 0x0F, 0x0F, 0x0F, 0x0F, 0xF7 }) })
        EXPECT_FALSE (DeviceMessages::parseCalibrationValueReply (other));

    // The version is read from the digit text: 0 1 0 10 is "01.010". Bytes 1 and 2 are not examined.
    EXPECT_DOUBLE_EQ (*DeviceMessages::parseIdentityReplyVersion (DeviceMessages::identityReply (1, 2, 3, 4)), 12.34);
    auto identity = bytesOf (DeviceMessages::identityReply (0, 1, 0, 10));
    identity[1] = 0x55;
    identity[2] = 0x66;
    EXPECT_DOUBLE_EQ (*DeviceMessages::parseIdentityReplyVersion (fromBytes (identity)), 1.01);
    identity[6] = 0x2B; // another model
    EXPECT_FALSE (DeviceMessages::parseIdentityReplyVersion (fromBytes (identity)));
    identity[6] = 0x2A;
    identity.insert (identity.begin() + 20, 0x00); // 36 bytes
    EXPECT_FALSE (DeviceMessages::parseIdentityReplyVersion (fromBytes (identity)));
}
