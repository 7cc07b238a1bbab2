#include "ButtonArtist.h"

#include "ArtworkFonts.h"
#include "PixelEffects.h"

namespace
{
    struct Palette
    {
        juce::Colour top, bottom, edge, text, engrave;
    };

    Palette paletteFor (ButtonArtist::Finish finish, ButtonArtist::State state)
    {
        const bool red = finish == ButtonArtist::Finish::red;
        Palette p;
        p.top    = red ? juce::Colour (0xffe0414a) : juce::Colour (0xffc9cbcf);
        p.bottom = red ? juce::Colour (0xff9c0f19) : juce::Colour (0xff86898f);
        p.edge   = juce::Colour (0xff141416);
        p.text   = red ? juce::Colour (0xffffffff) : juce::Colour (0xff1b1c1f);
        p.engrave = red ? juce::Colour (0x80400006) : juce::Colour (0x70ffffff);

        if (state == ButtonArtist::State::over)
        {
            p.top = p.top.brighter (0.22f);
            p.bottom = p.bottom.brighter (0.28f);
        }
        else if (state == ButtonArtist::State::down)
        {
            // Pressed in: darker, and lit from below rather than from above.
            auto top = p.top;
            p.top = p.bottom.darker (0.35f);
            p.bottom = top.darker (0.45f);
            p.engrave = p.engrave.withMultipliedAlpha (0.6f);
        }

        return p;
    }
}

juce::Image ButtonArtist::render (int width, int height, const juce::String& text,
                                  State state, Finish finish)
{
    auto image = PixelEffects::createCanvas (width, height);
    juce::Graphics g (image);
    const auto palette = paletteFor (finish, state);
    const bool down = state == State::down;

    const auto body = juce::Rectangle<float> (2.0f, 2.0f, (float) width - 4.0f, (float) height - 7.0f);
    const float corner = 9.0f;
    juce::Path shape;
    shape.addRoundedRectangle (body, corner);

    // Shadow under the button (kept inside the picture).
    juce::DropShadow (juce::Colour (0xff000000).withAlpha (down ? 0.45f : 0.7f), down ? 2 : 4,
                      { 0, down ? 1 : 3 }).drawForPath (g, shape);

    // Face.
    juce::ColourGradient face (palette.top, 0.0f, body.getY(), palette.bottom, 0.0f, body.getBottom(), false);
    face.addColour (0.48, palette.top.interpolatedWith (palette.bottom, 0.35f));
    face.addColour (0.52, palette.top.interpolatedWith (palette.bottom, 0.55f));
    g.setGradientFill (face);
    g.fillPath (shape);

    // Satin sheen on the upper half.
    if (! down)
    {
        juce::Path sheen;
        sheen.addRoundedRectangle (body.reduced (2.0f).withHeight (body.getHeight() * 0.45f), corner - 2.0f);
        g.setGradientFill (juce::ColourGradient (juce::Colour (0x38ffffff), 0.0f, body.getY(),
                                                 juce::Colour (0x00ffffff), 0.0f, body.getY() + body.getHeight() * 0.5f, false));
        g.fillPath (sheen);
    }
    else
    {
        // Inner shadow along the top edge of a pressed button.
        juce::Graphics::ScopedSaveState save (g);
        g.reduceClipRegion (shape);
        g.setGradientFill (juce::ColourGradient (juce::Colour (0x90000000), 0.0f, body.getY(),
                                                 juce::Colour (0x00000000), 0.0f, body.getY() + 9.0f, false));
        g.fillRect (body);
    }

    // Bevel: a lit top rim and a darker bottom rim, then the outline.
    g.setGradientFill (juce::ColourGradient (juce::Colour (down ? 0x18ffffff : 0x90ffffff), 0.0f, body.getY(),
                                             juce::Colour (0x30000000), 0.0f, body.getBottom(), false));
    g.strokePath (shape, juce::PathStrokeType (1.2f), juce::AffineTransform::translation (0.0f, 0.0f));
    juce::Path outline;
    outline.addRoundedRectangle (body.expanded (0.6f), corner + 0.6f);
    g.setColour (palette.edge.withAlpha (0.9f));
    g.strokePath (outline, juce::PathStrokeType (1.0f));

    // Caption: engraved capitals, one pixel lower when pressed.
    const float shift = down ? 1.0f : 0.0f;
    auto font = ArtworkFonts::heading (15.0f).withExtraKerningFactor (0.05f);
    juce::GlyphArrangement glyphs;
    glyphs.addFittedText (font, text.toUpperCase(), body.getX() + 6.0f, body.getY() + shift,
                          body.getWidth() - 12.0f, body.getHeight(), juce::Justification::centred, 1, 0.8f);
    juce::Path caption;
    glyphs.createPath (caption);
    g.setColour (palette.engrave);
    g.fillPath (caption, juce::AffineTransform::translation (0.0f, finish == Finish::red ? -1.0f : 1.0f));
    g.setColour (palette.text);
    g.fillPath (caption);

    return image;
}
