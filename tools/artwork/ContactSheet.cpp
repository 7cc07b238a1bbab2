#include "ContactSheet.h"

#include "ArtworkFonts.h"
#include "PixelEffects.h"

void ContactSheet::add (const juce::String& name, const juce::Image& picture)
{
    names.add (name);
    pictures.add (picture);
}

juce::Image ContactSheet::render() const
{
    constexpr int pageWidth = 1640, margin = 16, captionHeight = 18;

    // Flow layout: left to right, wrapping, each row as tall as its tallest picture.
    juce::Array<juce::Rectangle<int>> boxes;
    int x = margin, y = margin, rowHeight = 0;

    for (auto& picture : pictures)
    {
        const int w = juce::jmax (picture.getWidth(), 200), h = picture.getHeight() + captionHeight;

        if (x + w > pageWidth - margin)
        {
            x = margin;
            y += rowHeight + margin;
            rowHeight = 0;
        }

        boxes.add ({ x, y, w, h });
        x += w + margin;
        rowHeight = juce::jmax (rowHeight, h);
    }

    auto sheet = PixelEffects::createCanvas (pageWidth, y + rowHeight + margin);
    juce::Graphics g (sheet);
    g.fillAll (juce::Colour (0xff5a5c60));

    for (int i = 0; i < pictures.size(); ++i)
    {
        const auto& picture = pictures.getReference (i);
        const auto area = boxes[i].withSize (picture.getWidth(), picture.getHeight());
        g.fillCheckerBoard (area.toFloat(), 8.0f, 8.0f, juce::Colour (0xff9a9a9a), juce::Colour (0xff6e6e6e));
        g.setOpacity (1.0f);   // images are drawn with the current colour's alpha
        g.drawImageAt (picture, area.getX(), area.getY());
        g.setColour (juce::Colours::white);
        g.setFont (ArtworkFonts::heading (12.0f));
        g.drawText (names[i] + "  " + juce::String (picture.getWidth()) + "x" + juce::String (picture.getHeight()),
                    boxes[i].getX(), area.getBottom() + 2, boxes[i].getWidth(), captionHeight - 4,
                    juce::Justification::centredLeft, false);
    }

    return sheet;
}
