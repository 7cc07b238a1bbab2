#pragma once

#include "tuning/TuningCheck.h"

#include <juce_gui_basics/juce_gui_basics.h>

#include <vector>

// The result of a tuning check as a bar chart: one bar per note 24 to 63,
// named as the main window names notes, from 0 to the note's cents off its
// target on a scale of -50 to +50 cents, with the band of +-5 cents shaded.
// Bars are coloured by how far off they are; one beyond the scale stops at
// its edge.
class TuningCheckChart : public juce::Component
{
public:
    static constexpr double rangeCents = 50.0;
    static constexpr double bandCents = 5.0;
    // Up to this the error is small but audible beside an in-tune note.
    static constexpr double slightCents = 15.0;

    enum class Grade
    {
        inTune,     // within the band
        slightlyOff,
        farOff
    };

    struct Bar
    {
        int note = 0;
        juce::String label;
        double cents = 0.0;
        // Limited to the scale.
        double shownCents = 0.0;
        Grade grade = Grade::inTune;
    };

    TuningCheckChart();
    ~TuningCheckChart() override;

    void setRows (const std::vector<TuningCheck::Row>& rows);
    void clear();
    const std::vector<Bar>& getBars() const { return bars; }

    static Grade gradeOf (double cents);
    static juce::Colour colourOf (Grade grade);

    void paint (juce::Graphics& g) override;

private:
    juce::Rectangle<float> plotArea() const;
    float yFor (const juce::Rectangle<float>& plot, double cents) const;

    std::vector<Bar> bars;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (TuningCheckChart)
};
