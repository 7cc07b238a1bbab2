#include "TuningCheckChart.h"

#include "tuning/TuningCheckReport.h"

#include <cmath>

namespace
{
constexpr float leftMargin = 42.0f;
constexpr float rightMargin = 8.0f;
constexpr float topMargin = 10.0f;
constexpr float bottomMargin = 34.0f;   // the note names, written upwards
constexpr int numNotes = TuningCheck::numNotes;

juce::String centsLabel (int cents)
{
    return cents > 0 ? "+" + juce::String (cents) : juce::String (cents);
}
} // namespace

TuningCheckChart::TuningCheckChart()
{
    setOpaque (false);
    // Its names are drawn rotated, glyph by glyph as paths, which no glyph
    // cache keeps: drawn again whenever the window is exposed, they held the
    // message thread for tens of milliseconds. Kept as a picture until the
    // bars change.
    setBufferedToImage (true);
}

TuningCheckChart::~TuningCheckChart() = default;

TuningCheckChart::Grade TuningCheckChart::gradeOf (double cents)
{
    const auto size = std::abs (cents);
    if (size <= bandCents)
        return Grade::inTune;
    if (size <= slightCents)
        return Grade::slightlyOff;
    return Grade::farOff;
}

juce::Colour TuningCheckChart::colourOf (Grade grade)
{
    // The colours of the level meter's LEDs.
    switch (grade)
    {
        case Grade::inTune: return juce::Colour (0xff2fe04a);
        case Grade::slightlyOff: return juce::Colour (0xffffd21e);
        case Grade::farOff: break;
    }
    return juce::Colour (0xffff2a22);
}

void TuningCheckChart::setRows (const std::vector<TuningCheck::Row>& rows)
{
    bars.clear();
    for (const auto& row : rows)
    {
        Bar bar;
        bar.note = row.note;
        bar.label = TuningCheckReport::noteName (row.note);
        bar.cents = row.cents;
        bar.shownCents = std::isfinite (row.cents) ? juce::jlimit (-rangeCents, rangeCents, row.cents) : 0.0;
        bar.grade = std::isfinite (row.cents) ? gradeOf (row.cents) : Grade::farOff;
        bars.push_back (bar);
    }
    repaint();
}

void TuningCheckChart::clear()
{
    bars.clear();
    repaint();
}

juce::Rectangle<float> TuningCheckChart::plotArea() const
{
    return getLocalBounds().toFloat().withTrimmedLeft (leftMargin).withTrimmedRight (rightMargin)
        .withTrimmedTop (topMargin).withTrimmedBottom (bottomMargin);
}

float TuningCheckChart::yFor (const juce::Rectangle<float>& plot, double cents) const
{
    return plot.getCentreY() - (float) (cents / rangeCents) * plot.getHeight() * 0.5f;
}

void TuningCheckChart::paint (juce::Graphics& g)
{
    const auto plot = plotArea();
    const auto slot = plot.getWidth() / (float) numNotes;

    g.setColour (juce::Colour (0xb8000000));
    g.fillRoundedRectangle (getLocalBounds().toFloat(), 6.0f);

    // The band within which a note counts as in tune.
    g.setColour (colourOf (Grade::inTune).withAlpha (0.18f));
    g.fillRect (juce::Rectangle<float>::leftTopRightBottom (plot.getX(), yFor (plot, bandCents), plot.getRight(),
                                                            yFor (plot, -bandCents)));

    g.setFont (juce::Font (11.0f, juce::Font::plain));
    for (const int cents : { -50, -25, 0, 25, 50 })
    {
        const auto y = yFor (plot, cents);
        g.setColour (juce::Colours::white.withAlpha (cents == 0 ? 0.7f : 0.25f));
        g.fillRect (plot.getX(), y - 0.5f, plot.getWidth(), 1.0f);
        g.setColour (juce::Colours::white);
        g.drawText (centsLabel (cents), juce::Rectangle<float> (0.0f, y - 7.0f, leftMargin - 6.0f, 14.0f),
                    juce::Justification::centredRight, false);
    }

    for (size_t i = 0; i < bars.size(); ++i)
    {
        const auto& bar = bars[i];
        const auto index = juce::jlimit (0, numNotes - 1, bar.note - TuningCheck::firstNote);
        const auto x = plot.getX() + slot * (float) index;
        const auto zero = yFor (plot, 0.0);
        const auto end = yFor (plot, bar.shownCents);
        auto body = juce::Rectangle<float>::leftTopRightBottom (x + slot * 0.18f, juce::jmin (zero, end),
                                                                x + slot * 0.82f, juce::jmax (zero, end));
        // A note exactly in tune still shows a sliver.
        if (body.getHeight() < 1.0f)
            body = body.withSizeKeepingCentre (body.getWidth(), 1.0f);
        g.setColour (colourOf (bar.grade));
        g.fillRect (body);
    }

    // Every note's name, written upwards under its slot.
    g.setColour (juce::Colours::white);
    g.setFont (juce::Font (10.0f, juce::Font::plain));
    for (int index = 0; index < numNotes; ++index)
    {
        const auto note = TuningCheck::firstNote + index;
        const auto cx = plot.getX() + slot * ((float) index + 0.5f);
        const auto top = plot.getBottom() + 3.0f;
        juce::Graphics::ScopedSaveState save (g);
        g.addTransform (juce::AffineTransform::rotation (-juce::MathConstants<float>::halfPi, cx, top));
        g.drawText (TuningCheckReport::noteName (note),
                    juce::Rectangle<float> (cx - (bottomMargin - 4.0f), top - 6.0f, bottomMargin - 4.0f, 12.0f),
                    juce::Justification::centredRight, false);
    }
}
