#include "IconArtist.h"

#include "KestruneEmblem.h"
#include "PixelEffects.h"

const juce::Colour IconArtist::lightGrey (0xffc3c4c6);
const juce::Colour IconArtist::signalRed (0xffe3222d);

namespace
{
    // A coloured shape, given as parts that may overlap, with a soft shading
    // so that flat fills read as printed enamel rather than as placeholders.
    void fillShaded (juce::Graphics& g, juce::Rectangle<int> canvas, const juce::Array<juce::Path>& parts,
                     juce::Colour colour, bool glow)
    {
        auto mask = PixelEffects::createCanvas (canvas.getWidth(), canvas.getHeight());
        juce::Rectangle<float> bounds;

        {
            juce::Graphics mg (mask);
            mg.setColour (juce::Colours::white);

            for (auto& part : parts)
            {
                mg.fillPath (part);
                bounds = bounds.isEmpty() ? part.getBounds() : bounds.getUnion (part.getBounds());
            }
        }

        if (glow)
            juce::DropShadow (colour.withAlpha (0.6f), 5, {}).drawForImage (g, mask);
        else
            juce::DropShadow (juce::Colour (0xaa000000), 2, { 1, 1 }).drawForImage (g, mask);

        // The mask carries the union's coverage; tint it with the shading.
        juce::Image tinted = PixelEffects::createCanvas (canvas.getWidth(), canvas.getHeight());
        {
            juce::Graphics tg (tinted);
            tg.setGradientFill (juce::ColourGradient (colour.brighter (0.3f), bounds.getX(), bounds.getY(),
                                                      colour.darker (0.15f), bounds.getRight(), bounds.getBottom(), false));
            tg.fillAll();
        }

        {
            juce::Image::BitmapData m (mask, juce::Image::BitmapData::readOnly);
            juce::Image::BitmapData t (tinted, juce::Image::BitmapData::readWrite);

            for (int y = 0; y < t.height; ++y)
                for (int x = 0; x < t.width; ++x)
                    reinterpret_cast<juce::PixelARGB*> (t.getPixelPointer (x, y))
                        ->multiplyAlpha (reinterpret_cast<const juce::PixelARGB*> (m.getPixelPointer (x, y))->getAlpha());
        }

        g.setOpacity (1.0f);   // images are drawn with the current colour's alpha
        g.drawImageAt (tinted, 0, 0);
    }

    juce::Array<juce::Path> arrowParts (bool clockwise)
    {
        // Counter-clockwise arrow, drawn in a 49 x 104 box: an elliptical arc
        // centred near the left edge, from the bottom round the right side up
        // to the top, where the head points left.
        const float cx = 14.0f, cy = 58.0f, rx = 26.0f, ry = 38.0f;
        const float start = juce::degreesToRadians (72.0f);   // bottom end
        const float end = juce::degreesToRadians (-78.0f);    // top end, under the head
        juce::Path arc;
        const int steps = 48;

        for (int i = 0; i <= steps; ++i)
        {
            const float t = start + (end - start) * (float) i / (float) steps;
            const juce::Point<float> p (cx + rx * std::cos (t), cy + ry * std::sin (t));

            if (i == 0)
                arc.startNewSubPath (p);
            else
                arc.lineTo (p);
        }

        juce::Path shape;
        juce::PathStrokeType (8.0f, juce::PathStrokeType::curved, juce::PathStrokeType::butt)
            .createStrokedPath (shape, arc);

        // Head: a triangle at the top end pointing along the arc's direction.
        const juce::Point<float> tip (cx + rx * std::cos (end), cy + ry * std::sin (end));
        juce::Point<float> direction (rx * std::sin (end), -ry * std::cos (end));   // d/dt reversed
        direction /= direction.getDistanceFromOrigin();
        const juce::Point<float> normal (-direction.y, direction.x);
        const auto point = tip + direction * 17.0f;
        const auto back = tip - direction * 2.0f;
        juce::Path head;
        head.addTriangle (point, back + normal * 12.0f, back - normal * 12.0f);

        // The bottom end is rounded off.
        juce::Path tail;
        tail.addEllipse (cx + rx * std::cos (start) - 4.0f, cy + ry * std::sin (start) - 4.0f, 8.0f, 8.0f);

        juce::Array<juce::Path> parts { shape, head, tail };

        if (clockwise)
            for (auto& part : parts)
                part.applyTransform (juce::AffineTransform::scale (-1.0f, 1.0f).translated (49.0f, 0.0f));

        return parts;
    }
}

juce::Image IconArtist::curvedArrow (bool clockwise, bool lit)
{
    auto image = PixelEffects::createCanvas (49, 104);
    juce::Graphics g (image);
    fillShaded (g, image.getBounds(), arrowParts (clockwise), lit ? signalRed : lightGrey, lit);
    return image;
}

juce::Image IconArtist::head (bool lit)
{
    auto image = PixelEffects::createCanvas (120, 89);
    juce::Graphics g (image);
    fillShaded (g, image.getBounds(), { KestruneEmblem::headPathIn ({ 4.0f, 3.0f, 112.0f, 83.0f }) },
                lit ? signalRed : lightGrey, lit);
    return image;
}

juce::Image IconArtist::led (juce::Colour fill)
{
    auto image = PixelEffects::createCanvas (16, 16);
    juce::Graphics g (image);
    const auto ring = juce::Rectangle<float> (1.5f, 1.5f, 13.0f, 13.0f);

    if (! fill.isTransparent())
    {
        // Translucent lens, a little brighter in its centre, with a glint.
        juce::ColourGradient lens (fill.brighter (0.5f).withAlpha (0.75f), 7.0f, 6.5f,
                                   fill.withAlpha (0.68f), 8.0f + 6.5f, 8.0f, true);
        g.setGradientFill (lens);
        g.fillEllipse (ring.reduced (0.5f));
        g.setColour (juce::Colour (0x90ffffff));
        g.fillEllipse (4.5f, 4.0f, 3.0f, 2.2f);
    }

    g.setColour (lightGrey);
    g.drawEllipse (ring, 1.5f);
    return image;
}

juce::Image IconArtist::progressFrame()
{
    auto image = PixelEffects::createCanvas (408, 32);
    juce::Graphics g (image);
    g.setColour (juce::Colour ((juce::uint8) 195, (juce::uint8) 196, (juce::uint8) 198));
    g.drawRoundedRectangle (juce::Rectangle<float> (1.0f, 1.0f, 406.0f, 30.0f), 5.0f, 2.0f);
    return image;
}

juce::Image IconArtist::applicationIcon (int size)
{
    // Drawn at four times the size and reduced, so that the small sizes keep
    // the head's outline instead of a blur of hinted edges.
    const int factor = 4;
    const int big = size * factor;
    auto image = PixelEffects::createCanvas (big, big);

    {
        juce::Graphics g (image);
        const float s = (float) big;
        const auto tile = juce::Rectangle<float> (s, s).reduced (s * 0.03f);
        const float corner = s * 0.2f;

        g.setGradientFill (juce::ColourGradient (juce::Colour (0xff3a3c40), 0.0f, tile.getY(),
                                                 juce::Colour (0xff151618), 0.0f, tile.getBottom(), false));
        g.fillRoundedRectangle (tile, corner);
        g.setColour (lightGrey.withAlpha (0.55f));
        g.drawRoundedRectangle (tile.reduced (s * 0.012f), corner * 0.95f, s * 0.024f);

        // Small icons give the head almost the whole tile; large ones leave room
        // for the glow.
        const float margin = size <= 24 ? 0.1f : 0.16f;
        auto head = KestruneEmblem::headPathIn (tile.reduced (s * margin));
        g.setColour (signalRed);
        g.fillPath (head);
        g.setGradientFill (juce::ColourGradient (juce::Colours::white.withAlpha (0.25f), 0.0f, head.getBounds().getY(),
                                                 juce::Colours::transparentWhite, 0.0f, head.getBounds().getCentreY(), false));
        g.fillPath (head);
    }

    return PixelEffects::downsample (image, factor);
}
