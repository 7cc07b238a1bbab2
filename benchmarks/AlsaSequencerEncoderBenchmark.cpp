#include "EmbeddedData.h"
#include "firmware/FirmwareSysexData.h"
#include "midi/AlsaSequencerEncoder.h"
#include "midi/DeviceMessages.h"

#include <benchmark/benchmark.h>

#include <vector>

namespace
{
// One iteration turns the whole firmware transfer into sequencer events: the
// update request, then the 1,768 slices as the sender hands them over.
void firmwareStreamToEvents (benchmark::State& state)
{
    const auto request = DeviceMessages::firmwareUpdateRequest();
    const FirmwareSysexData data ({}, juce::Array<juce::uint8> (reinterpret_cast<const juce::uint8*> (EmbeddedData::firmwareImageContainer), 113134),
                                  64, 10, "Out", "Audio Application Firmware");
    std::vector<juce::Array<juce::uint8>> slices;
    for (juce::uint32 i = 0; i < data.getNumPackets(); ++i)
        slices.push_back (data.getPacket (i));

    size_t events = 0;
    for (auto _ : state)
    {
        AlsaSequencerEncoder encoder;
        events = encoder.encode (request.getRawData(), request.getRawDataSize()).size();
        for (const auto& slice : slices)
            events += encoder.encode (slice.begin(), slice.size()).size();
        benchmark::DoNotOptimize (events);
    }
    state.counters["events"] = (double) events;
}
} // namespace

BENCHMARK (firmwareStreamToEvents)->Unit (benchmark::kMicrosecond);
