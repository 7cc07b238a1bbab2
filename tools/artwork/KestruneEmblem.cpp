#include "KestruneEmblem.h"

#include "ArtworkFonts.h"

juce::Path KestruneEmblem::headPath()
{
    juce::Path p;

    // Outline: beak, forehead, swept-back crest, nape and throat.
    p.startNewSubPath (33.0f, 33.0f);                        // base of the upper beak
    p.cubicTo (22.0f, 31.0f, 9.0f, 36.0f, 5.0f, 49.0f);      // upper beak
    p.cubicTo (4.0f, 54.0f, 6.0f, 59.0f, 9.0f, 61.0f);       // hooked tip
    p.cubicTo (9.5f, 56.0f, 13.0f, 52.5f, 19.0f, 52.0f);     // underside of the hook
    p.cubicTo (23.0f, 51.8f, 27.0f, 53.0f, 30.0f, 55.0f);    // gape
    p.cubicTo (26.0f, 58.0f, 23.0f, 60.0f, 21.0f, 63.0f);    // lower mandible
    p.cubicTo (30.0f, 63.5f, 38.0f, 66.0f, 45.0f, 72.0f);    // chin
    p.cubicTo (52.0f, 78.0f, 58.0f, 84.0f, 62.0f, 88.0f);    // throat
    p.lineTo (72.0f, 80.0f);                                  // neck feathers
    p.lineTo (78.0f, 88.0f);
    p.lineTo (88.0f, 78.0f);
    p.lineTo (96.0f, 86.0f);
    p.cubicTo (100.0f, 74.0f, 102.0f, 62.0f, 104.0f, 52.0f); // nape
    p.lineTo (118.0f, 44.0f);                                 // crest, lowest feather
    p.lineTo (103.0f, 38.0f);
    p.lineTo (119.0f, 24.0f);                                 // middle feather
    p.lineTo (99.0f, 24.0f);
    p.lineTo (112.0f, 4.0f);                                  // top feather
    p.cubicTo (96.0f, 8.0f, 84.0f, 9.0f, 72.0f, 10.0f);      // crown
    p.cubicTo (55.0f, 11.0f, 40.0f, 20.0f, 33.0f, 33.0f);    // forehead
    p.closeSubPath();

    // Almond eye with its pupil (the pupil is filled again by the even-odd rule).
    p.startNewSubPath (42.0f, 34.0f);
    p.cubicTo (47.0f, 27.5f, 56.0f, 26.0f, 64.0f, 29.0f);
    p.cubicTo (59.0f, 35.5f, 49.0f, 37.5f, 42.0f, 34.0f);
    p.closeSubPath();
    p.addEllipse (51.0f, 28.6f, 6.0f, 6.0f);

    // Brow: a wedge cut over the eye gives the stern look.
    p.startNewSubPath (37.0f, 29.0f);
    p.cubicTo (49.0f, 19.5f, 65.0f, 17.5f, 79.0f, 21.5f);
    p.cubicTo (65.0f, 22.5f, 51.0f, 25.0f, 37.0f, 29.0f);
    p.closeSubPath();

    // Cheek stripe (the falcon's "moustache"), sweeping back at its foot.
    p.startNewSubPath (46.0f, 40.0f);
    p.cubicTo (51.0f, 42.0f, 53.0f, 47.0f, 52.5f, 53.0f);
    p.cubicTo (52.0f, 59.0f, 53.0f, 65.0f, 57.0f, 71.0f);
    p.cubicTo (50.0f, 67.0f, 45.5f, 59.0f, 44.5f, 51.0f);
    p.cubicTo (44.0f, 46.0f, 44.3f, 42.0f, 46.0f, 40.0f);
    p.closeSubPath();

    // Feather line separating crown from the crest.
    p.startNewSubPath (74.0f, 30.0f);
    p.cubicTo (82.0f, 34.0f, 89.0f, 40.0f, 92.0f, 50.0f);
    p.cubicTo (87.0f, 43.0f, 81.0f, 37.0f, 74.0f, 30.0f);
    p.closeSubPath();

    p.setUsingNonZeroWinding (false);
    return p;
}

juce::Path KestruneEmblem::headPathIn (juce::Rectangle<float> area)
{
    auto p = headPath();
    p.applyTransform (juce::RectanglePlacement (juce::RectanglePlacement::centred)
                          .getTransformToFit ({ 0.0f, 0.0f, 120.0f, 89.0f }, area));
    return p;
}

float KestruneEmblem::drawLogotype (juce::Graphics& g, juce::Rectangle<float> area, juce::Colour colour)
{
    const float h = area.getHeight();
    const auto emblemArea = area.withWidth (h * 120.0f / 89.0f);
    g.setColour (colour);
    g.fillPath (headPathIn (emblemArea));

    // Wordmark: wide-set geometric capitals, baseline aligned with the throat.
    auto font = ArtworkFonts::logotype (h * 0.9f).withExtraKerningFactor (0.12f);
    juce::GlyphArrangement glyphs;
    const float x = emblemArea.getRight() + h * 0.18f;
    const float baseline = area.getY() + h * 0.86f;
    glyphs.addLineOfText (font, "KESTRUNE", x, baseline);
    juce::Path text;
    glyphs.createPath (text);
    g.fillPath (text);

    // A fine rule under the wordmark, ending in the crest's direction.
    const auto textBounds = text.getBounds();
    g.fillRect (juce::Rectangle<float> (x + 1.0f, baseline + h * 0.07f, textBounds.getWidth() - 1.0f, juce::jmax (1.0f, h * 0.045f)));
    return textBounds.getRight() - area.getX();
}
