#include "ComboBoxMenuItemLookAndFeel.h"

void ComboBoxMenuItemLookAndFeel::drawPopupMenuBackground (juce::Graphics& g, int width, int height)
{
    g.setColour (juce::Colours::white);
    g.fillRoundedRectangle (0.0f, 0.0f, (float) width, (float) height, 4.0f);
}

void ComboBoxMenuItemLookAndFeel::drawPopupMenuItem (juce::Graphics& g, const juce::Rectangle<int>& area,
                                                     bool /*isSeparator*/, bool /*isActive*/, bool isHighlighted,
                                                     bool /*isTicked*/, bool /*hasSubMenu*/, const juce::String& text,
                                                     const juce::String& /*shortcutKeyText*/,
                                                     const juce::Drawable* /*icon*/, const juce::Colour* /*textColour*/)
{
    if (isHighlighted)
    {
        g.setColour (juce::Colour (0xffff0000));
        g.fillRect (area);
    }

    // Horizontal justification only: the text sits at the top of the row.
    g.setColour (juce::Colours::black);
    g.drawText (text, juce::Rectangle<int> (0, 0, area.getWidth(), area.getHeight()),
                juce::Justification::left, false);
}

void ComboBoxMenuItemLookAndFeel::drawComboBox (juce::Graphics& g, int width, int height, bool /*isButtonDown*/,
                                                int /*buttonX*/, int /*buttonY*/, int /*buttonW*/, int /*buttonH*/,
                                                juce::ComboBox& box)
{
    g.setColour (juce::Colours::white);
    g.fillRoundedRectangle (0.0f, 0.0f, (float) width, (float) height, 10.0f);

    // Downward triangle, 10 wide and 4 high, centred 10 pixels from the right edge.
    const float middle = (float) (height / 2);
    const float right = (float) width;
    juce::Path triangle;
    triangle.addTriangle (right - 10.0f, middle + 4.0f, right - 5.0f, middle, right - 15.0f, middle);
    g.setColour (box.findColour (juce::ComboBox::arrowColourId));
    g.fillPath (triangle);
}
