#include "midi/DeviceMessages.h"

#include <gtest/gtest.h>

#include <vector>

namespace
{
std::vector<int> bytesOf (const juce::MidiMessage& m)
{
    return { m.getRawData(), m.getRawData() + m.getRawDataSize() };
}

juce::MidiMessage fromBytes (std::vector<juce::uint8> b)
{
    return juce::MidiMessage (b.data(), (int) b.size());
}
} // namespace

TEST (DeviceMessages, OutgoingMessagesHaveTheMachinesBytes)
{
    EXPECT_EQ (bytesOf (DeviceMessages::identityRequest()), (std::vector<int> { 0xF0, 0x7E, 0x00, 0x06, 0x01, 0xF7 }));
    EXPECT_EQ (bytesOf (DeviceMessages::calibrationValueWrite (40, 0x1234)),
               (std::vector<int> { 0xF0, 0x47, 0x00, 0x2A, 0x24, 0x00, 0x05, 0x28, 0x01, 0x02, 0x03, 0x04, 0xF7 }));
    EXPECT_EQ (bytesOf (DeviceMessages::calibrationValueWrite (24, 0xFFFF)),
               (std::vector<int> { 0xF0, 0x47, 0x00, 0x2A, 0x24, 0x00, 0x05, 0x18, 0x0F, 0x0F, 0x0F, 0x0F, 0xF7 }));
    EXPECT_EQ (bytesOf (DeviceMessages::calibrationValueRequest (63)),
               (std::vector<int> { 0xF0, 0x47, 0x00, 0x2A, 0x24, 0x00, 0x01, 0x3F, 0xF7 }));
    EXPECT_EQ (bytesOf (DeviceMessages::calibrationCommit()),
               (std::vector<int> { 0xF0, 0x47, 0x00, 0x2A, 0x2A, 0x00, 0x00, 0xF7 }));
    EXPECT_EQ (bytesOf (DeviceMessages::firmwareUpdateRequest()),
               (std::vector<int> { 0xF0, 0x47, 0x00, 0x2A, 0x72, 0x00, 0x00, 0xF7 }));
    EXPECT_EQ (bytesOf (DeviceMessages::noteOn (24)), (std::vector<int> { 0x90, 0x18, 0x7F }));
    EXPECT_EQ (bytesOf (DeviceMessages::noteOff (63)), (std::vector<int> { 0x80, 0x3F, 0x00 }));
}

TEST (DeviceMessages, RawBytesAreKeptUnchangedEvenMidSysex)
{
    const juce::uint8 slice[] = { 0x3A, 0x31, 0x30, 0x88, 0x13 };
    EXPECT_EQ (bytesOf (DeviceMessages::rawBytes (slice, 5)), (std::vector<int> { 0x3A, 0x31, 0x30, 0x88, 0x13 }));
}

TEST (DeviceMessages, CalibrationReplyIsRecognisedByLengthAndCommandOnly)
{
    auto reply = DeviceMessages::parseCalibrationValueReply (DeviceMessages::calibrationValueReply (33, 0xBEEF));
    ASSERT_TRUE (reply.has_value());
    EXPECT_EQ (reply->note, 33);
    EXPECT_EQ (reply->value, 0xBEEF);

    // Another maker's frame still counts; nibble bytes contribute their low four bits.
    reply = DeviceMessages::parseCalibrationValueReply (
        fromBytes ({ 0xF0, 0x11, 0x22, 0x33, 0x24, 0x00, 0x05, 0x30, 0x71, 0x12, 0x5F, 0x04, 0xF7 }));
    ASSERT_TRUE (reply.has_value());
    EXPECT_EQ (reply->note, 0x30);
    EXPECT_EQ (reply->value, 0x12F4);

    EXPECT_FALSE (DeviceMessages::parseCalibrationValueReply (DeviceMessages::calibrationValueRequest (30)).has_value());
    EXPECT_FALSE (DeviceMessages::parseCalibrationValueReply (
                      fromBytes ({ 0xF0, 0x47, 0x00, 0x2A, 0x25, 0x00, 0x05, 0x18, 0x0F, 0x0F, 0x0F, 0x0F, 0xF7 }))
                      .has_value());
    EXPECT_FALSE (DeviceMessages::parseCalibrationValueReply (DeviceMessages::noteOn (24)).has_value());
}

TEST (DeviceMessages, IdentityReplyVersionIsReadFromTheDigitText)
{
    auto version = [] (juce::uint8 a, juce::uint8 b, juce::uint8 c, juce::uint8 d) {
        return DeviceMessages::parseIdentityReplyVersion (DeviceMessages::identityReply (a, b, c, d));
    };
    EXPECT_DOUBLE_EQ (*version (0, 1, 0, 5), 1.05);
    EXPECT_DOUBLE_EQ (*version (0, 1, 0, 0), 1.0);
    EXPECT_DOUBLE_EQ (*version (0, 0, 0, 0), 0.0);
    EXPECT_DOUBLE_EQ (*version (0, 1, 0, 10), 1.01); // "01.010"
    EXPECT_DOUBLE_EQ (*version (1, 2, 3, 4), 12.34);

    // Bytes 1 and 2 are not examined.
    auto reply = DeviceMessages::identityReply (0, 1, 0, 4);
    std::vector<juce::uint8> bytes (reply.getRawData(), reply.getRawData() + reply.getRawDataSize());
    bytes[1] = 0x55;
    bytes[2] = 0x66;
    EXPECT_DOUBLE_EQ (*DeviceMessages::parseIdentityReplyVersion (fromBytes (bytes)), 1.04);

    bytes[6] = 0x2B; // another model
    EXPECT_FALSE (DeviceMessages::parseIdentityReplyVersion (fromBytes (bytes)).has_value());
    bytes[6] = 0x2A;
    bytes.insert (bytes.begin() + 20, 0x00); // 36 bytes
    EXPECT_FALSE (DeviceMessages::parseIdentityReplyVersion (fromBytes (bytes)).has_value());
}
