#include "TuningCheckReport.h"

#include <cmath>

namespace
{
// Fixed decimals, and never "-0.00" for a value that rounds to zero.
juce::String fixed (double value, int decimals)
{
    const auto scale = std::pow (10.0, decimals);
    auto rounded = std::round (value * scale) / scale;
    if (rounded == 0.0)
        rounded = 0.0;
    return juce::String (rounded, decimals);
}
} // namespace

juce::String TuningCheckReport::noteName (int note)
{
    return juce::MidiMessage::getMidiNoteName (note, true, true, 3);
}

juce::String TuningCheckReport::row (const TuningCheck::Row& r)
{
    return juce::String (r.note) + "," + noteName (r.note) + "," + fixed (r.targetHz, 4) + ","
           + fixed (r.measuredHz, 4) + "," + fixed (r.cents, 2);
}

juce::String TuningCheckReport::csv (const std::vector<TuningCheck::Row>& rows)
{
    juce::String text (header());
    text << "\n";
    for (const auto& r : rows)
        text << row (r) << "\n";
    return text;
}

bool TuningCheckReport::write (const juce::File& file, const std::vector<TuningCheck::Row>& rows)
{
    if (file.isDirectory())
        return false;
    // Raw bytes: File::replaceWithText would rewrite the line ends.
    const auto text = csv (rows);
    return file.replaceWithData (text.toRawUTF8(), text.getNumBytesAsUTF8());
}
