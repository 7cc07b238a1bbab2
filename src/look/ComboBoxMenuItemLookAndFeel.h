#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

// Drop-down lists as white rounded boxes with a small triangle, and their
// pop-up menus as white rounded panels whose highlighted row is red.
class ComboBoxMenuItemLookAndFeel : public juce::LookAndFeel_V3
{
public:
    void drawPopupMenuBackground (juce::Graphics&, int width, int height) override;

    // Separators, disabled state, ticks, sub-menu arrows, shortcuts, icons and
    // item colours are deliberately not drawn: every row looks alike.
    void drawPopupMenuItem (juce::Graphics&, const juce::Rectangle<int>& area,
                            bool isSeparator, bool isActive, bool isHighlighted, bool isTicked,
                            bool hasSubMenu, const juce::String& text,
                            const juce::String& shortcutKeyText,
                            const juce::Drawable* icon, const juce::Colour* textColour) override;

    void drawComboBox (juce::Graphics&, int width, int height, bool isButtonDown,
                       int buttonX, int buttonY, int buttonW, int buttonH,
                       juce::ComboBox&) override;
};
