#include "CustomLook.h"

void CustomLook::drawProgressBar (juce::Graphics& g, juce::ProgressBar& bar, int width, int height,
                                  double progress, const juce::String& textToShow)
{
    g.fillAll (bar.findColour (juce::ProgressBar::backgroundColourId));

    // A negative progress means "indeterminate": no fill, only the text.
    if (progress >= 0.0 && progress <= 1.0)
    {
        const juce::Colour top (0xffc51530), upper (0xffcb294f), bottom (0xff9e0414);
        juce::ColourGradient gradient (top, 0.0f, 0.0f, upper, 0.0f, (float) height, false);
        gradient.addColour (0.0, top);
        gradient.addColour (0.3, upper);
        gradient.addColour (1.0, bottom);
        g.setGradientFill (gradient);

        const double inner = width - 2.0;
        g.fillRect (juce::Rectangle<float> (1.0f, 1.0f,
                                            (float) juce::jlimit (0.0, juce::jmax (0.0, inner), progress * inner),
                                            (float) (height - 2)));
    }

    if (textToShow.isNotEmpty())
    {
        g.setColour (juce::Colours::white);
        g.setFont (g.getCurrentFont().withHeight ((float) height * 0.6f));
        g.drawText (textToShow, 0, 0, width, height, juce::Justification::centred, false);
    }
}
