#include "BassSynthPanelArtist.h"

#include "ArtworkFonts.h"
#include "KnobRenderer.h"

namespace
{
    const juce::Colour legend (0xffe4e2dc);
    const juce::Colour accent (0xffd8232c);

    void drawLegend (juce::Graphics& g, const juce::String& text, juce::Rectangle<float> box, float height,
                     juce::Colour colour)
    {
        // Long legends wrap onto two lines, the last line sitting on the box's bottom.
        g.setColour (colour);
        g.setFont (ArtworkFonts::panel (height).withExtraKerningFactor (0.04f));
        g.drawFittedText (text, box.toNearestInt(), juce::Justification::centredBottom, 2, 1.0f);
    }
}

void BassSynthPanelArtist::draw (juce::Graphics& g, juce::Rectangle<float> area)
{
    // The plate: a close-up of the section, lifted off the photograph.
    juce::Path plate;
    plate.addRoundedRectangle (area, 9.0f);
    juce::DropShadow (juce::Colour (0xf0000000), 14, { 4, 7 }).drawForPath (g, plate);
    g.setGradientFill (juce::ColourGradient (juce::Colour (0xff3b3c41), area.getX(), area.getY(),
                                             juce::Colour (0xff1d1e21), area.getRight(), area.getBottom(), false));
    g.fillPath (plate);

    {
        juce::Graphics::ScopedSaveState save (g);
        g.reduceClipRegion (plate);

        // Brushed finish: faint streaks of varying tone.
        juce::Random random (0x42617373);

        for (float y = area.getY(); y < area.getBottom(); y += 1.0f)
        {
            g.setColour (juce::Colour (random.nextBool() ? 0xffffffff : 0xff000000).withAlpha (0.015f + 0.035f * random.nextFloat()));
            g.fillRect (area.getX(), y, area.getWidth(), 1.0f);
        }

        // Light falling from the upper left.
        g.setGradientFill (juce::ColourGradient (juce::Colour (0x24ffffff), area.getX(), area.getY(),
                                                 juce::Colour (0x00ffffff), area.getX() + area.getWidth() * 0.7f,
                                                 area.getY() + area.getHeight() * 0.45f, false));
        g.fillPath (plate);

        // Section header: a red band with the section's name.
        const auto band = area.withHeight (24.0f);
        g.setGradientFill (juce::ColourGradient (accent.brighter (0.15f), 0.0f, band.getY(),
                                                 accent.darker (0.35f), 0.0f, band.getBottom(), false));
        g.fillRect (band);
        g.setColour (juce::Colour (0x60000000));
        g.fillRect (band.withTop (band.getBottom() - 1.0f));
        g.setColour (juce::Colours::white);
        g.setFont (ArtworkFonts::heading (13.0f).withExtraKerningFactor (0.2f));
        g.drawText ("BASS SYNTH", band.translated (0.0f, 1.0f), juce::Justification::centred, false);
    }

    g.setColour (juce::Colour (0x48ffffff));
    g.drawRoundedRectangle (area.reduced (0.5f), 9.0f, 1.0f);

    const float left = area.getX(), w = area.getWidth();
    const float col[3] = { left + w * 0.19f, left + w * 0.5f, left + w * 0.81f };
    const float row1 = area.getY() + 84.0f, row2 = area.getY() + 176.0f;

    drawKnob (g, { col[0], row1 }, "VOLUME", almostClockwise);
    drawKnob (g, { col[1], row1 }, "TUNE", centred);
    drawKnob (g, { col[2], row1 }, "FILTER CUTOFF", almostClockwise);
    drawKnob (g, { col[0], row2 }, "FILTER RES", almostCounterClockwise);
    drawKnob (g, { col[1], row2 }, "ENV AMT", almostCounterClockwise);
    drawKnob (g, { col[2], row2 }, "DECAY", almostCounterClockwise);

    // Divider between the controls and the connections.
    g.setColour (legend.withAlpha (0.25f));
    g.fillRect (area.getX() + 12.0f, area.getY() + 222.0f, area.getWidth() - 24.0f, 1.0f);

    const float row3 = area.getY() + 270.0f;
    drawWaveformSwitch (g, { col[0] + 4.0f, row3 });
    drawOutputAndCable (g, { col[2] - 2.0f, row3 - 4.0f }, area);
}

void BassSynthPanelArtist::drawKnob (juce::Graphics& g, juce::Point<float> centre, const juce::String& label, float angle)
{
    drawLegend (g, label, { centre.x - 32.0f, centre.y - 62.0f, 64.0f, 28.0f }, 12.0f, legend);

    // Printed scale from 0 to 10 over 270 degrees.
    KnobRenderer::drawScale (g, centre, 22.5f, 27.0f, juce::degreesToRadians (270.0f), 11, legend.withAlpha (0.8f), 1.1f);
    g.setFont (ArtworkFonts::panel (9.0f));
    g.setColour (legend.withAlpha (0.75f));
    const auto minPos = KnobRenderer::pointOnCircle (centre, 30.0f, juce::degreesToRadians (-150.0f));
    const auto maxPos = KnobRenderer::pointOnCircle (centre, 30.0f, juce::degreesToRadians (150.0f));
    g.drawText ("0", juce::Rectangle<float> (12.0f, 10.0f).withCentre (minPos), juce::Justification::centred, false);
    g.drawText ("10", juce::Rectangle<float> (14.0f, 10.0f).withCentre (maxPos), juce::Justification::centred, false);

    KnobRenderer::Style style;
    style.body = juce::Colour (0xff1b1b1e);
    style.cap = juce::Colour (0xff5f6268);
    style.pointer = juce::Colour (0xffffffff);
    KnobRenderer::draw (g, centre, 19.0f, angle, style);
}

void BassSynthPanelArtist::drawWaveformSwitch (juce::Graphics& g, juce::Point<float> centre)
{
    drawLegend (g, "WAVEFORM", { centre.x - 36.0f, centre.y - 52.0f, 72.0f, 14.0f }, 12.0f, legend);

    // Slot with a bat-handle lever thrown up.
    const juce::Rectangle<float> slot (centre.x - 6.0f, centre.y - 18.0f, 12.0f, 36.0f);
    g.setColour (juce::Colour (0xff0b0b0c));
    g.fillRoundedRectangle (slot, 6.0f);
    g.setColour (juce::Colour (0x50ffffff));
    g.drawRoundedRectangle (slot.expanded (1.0f), 7.0f, 1.0f);

    juce::Path lever;
    lever.startNewSubPath (centre.x - 2.5f, centre.y);
    lever.lineTo (centre.x - 4.0f, centre.y - 22.0f);
    lever.lineTo (centre.x + 4.0f, centre.y - 22.0f);
    lever.lineTo (centre.x + 2.5f, centre.y);
    lever.closeSubPath();
    juce::DropShadow (juce::Colour (0xc0000000), 3, { 2, 3 }).drawForPath (g, lever);
    g.setGradientFill (juce::ColourGradient (juce::Colour (0xfff0f0f0), centre.x - 4.0f, 0.0f,
                                             juce::Colour (0xff6a6c70), centre.x + 4.0f, 0.0f, false));
    g.fillPath (lever);
    g.setGradientFill (juce::ColourGradient (juce::Colour (0xffffffff), centre.x - 5.0f, centre.y - 28.0f,
                                             juce::Colour (0xff707276), centre.x + 5.0f, centre.y - 18.0f, true));
    g.fillEllipse (centre.x - 5.5f, centre.y - 29.0f, 11.0f, 11.0f);

    // Waveform symbols: square at the upper position, sawtooth at the lower.
    const float sx = centre.x + 14.0f;
    juce::Path square;
    square.startNewSubPath (sx, centre.y - 10.0f);
    square.lineTo (sx, centre.y - 18.0f);
    square.lineTo (sx + 7.0f, centre.y - 18.0f);
    square.lineTo (sx + 7.0f, centre.y - 10.0f);
    square.lineTo (sx + 14.0f, centre.y - 10.0f);
    square.lineTo (sx + 14.0f, centre.y - 18.0f);
    juce::Path saw;
    saw.startNewSubPath (sx, centre.y + 18.0f);
    saw.lineTo (sx + 7.0f, centre.y + 10.0f);
    saw.lineTo (sx + 7.0f, centre.y + 18.0f);
    saw.lineTo (sx + 14.0f, centre.y + 10.0f);
    saw.lineTo (sx + 14.0f, centre.y + 18.0f);
    const juce::PathStrokeType stroke (1.4f, juce::PathStrokeType::mitered, juce::PathStrokeType::square);
    g.setColour (legend);
    g.strokePath (square, stroke);
    g.setColour (legend.withAlpha (0.7f));
    g.strokePath (saw, stroke);
}

void BassSynthPanelArtist::drawOutputAndCable (juce::Graphics& g, juce::Point<float> jack, juce::Rectangle<float> area)
{
    drawLegend (g, "SYNTH OUT", { jack.x - 36.0f, jack.y - 48.0f, 72.0f, 14.0f }, 12.0f, legend);

    // Hex nut of the socket.
    juce::Path nut;
    for (int i = 0; i < 6; ++i)
    {
        const auto p = KnobRenderer::pointOnCircle (jack, 14.0f, juce::MathConstants<float>::pi / 3.0f * (float) i + 0.3f);
        i == 0 ? nut.startNewSubPath (p) : nut.lineTo (p);
    }
    nut.closeSubPath();
    juce::DropShadow (juce::Colour (0xb0000000), 3, { 2, 2 }).drawForPath (g, nut);
    g.setGradientFill (juce::ColourGradient (juce::Colour (0xffc8c9cc), jack.x - 14.0f, jack.y - 14.0f,
                                             juce::Colour (0xff4b4c50), jack.x + 14.0f, jack.y + 14.0f, false));
    g.fillPath (nut);

    // Cable: out of the plug's strain relief, down and off the bottom edge.
    const juce::Point<float> boot (jack.x + 2.0f, jack.y + 38.0f);
    juce::Path cable;
    cable.startNewSubPath (boot);
    cable.cubicTo (boot.x + 2.0f, boot.y + 40.0f, boot.x + 26.0f, boot.y + 60.0f, area.getRight() + 4.0f, area.getBottom() + 30.0f);
    cable.lineTo (area.getRight() + 10.0f, area.getBottom() + 80.0f);
    g.setColour (juce::Colour (0x80000000));
    g.strokePath (cable, juce::PathStrokeType (9.0f, juce::PathStrokeType::curved, juce::PathStrokeType::rounded),
                  juce::AffineTransform::translation (4.0f, 5.0f));
    g.setColour (juce::Colour (0xff101012));
    g.strokePath (cable, juce::PathStrokeType (8.0f, juce::PathStrokeType::curved, juce::PathStrokeType::rounded));
    g.setColour (juce::Colour (0x55ffffff));
    g.strokePath (cable, juce::PathStrokeType (1.4f, juce::PathStrokeType::curved, juce::PathStrokeType::rounded),
                  juce::AffineTransform::translation (-2.0f, -0.5f));

    // Plug seen from the front and above: metal barrel, black boot.
    const juce::Rectangle<float> barrel (jack.x - 8.0f, jack.y - 6.0f, 16.0f, 22.0f);
    const juce::Rectangle<float> bootBody (jack.x - 6.5f, jack.y + 14.0f, 13.0f, 26.0f);
    juce::Path plug;
    plug.addRoundedRectangle (barrel, 3.0f);
    plug.addRoundedRectangle (bootBody, 4.0f);
    juce::DropShadow (juce::Colour (0xd0000000), 6, { 4, 5 }).drawForPath (g, plug);
    g.setGradientFill (juce::ColourGradient (juce::Colour (0xff2a2a2d), bootBody.getX(), 0.0f,
                                             juce::Colour (0xff050506), bootBody.getRight(), 0.0f, false));
    g.fillRoundedRectangle (bootBody, 4.0f);
    g.setColour (juce::Colour (0x40ffffff));

    for (float y = bootBody.getY() + 6.0f; y < bootBody.getBottom() - 3.0f; y += 4.0f)
        g.fillRect (bootBody.getX() + 1.5f, y, bootBody.getWidth() - 3.0f, 1.0f);

    juce::ColourGradient metal (juce::Colour (0xff6d6e72), barrel.getX(), 0.0f, juce::Colour (0xff2c2d30), barrel.getRight(), 0.0f, false);
    metal.addColour (0.3, juce::Colour (0xffeeeff2));
    g.setGradientFill (metal);
    g.fillRoundedRectangle (barrel, 3.0f);
    g.setColour (accent);
    g.fillRect (barrel.getX(), barrel.getBottom() - 5.0f, barrel.getWidth(), 2.0f);

    // The note, with an arrow to the cable.
    const juce::Rectangle<float> note (area.getX() + 12.0f, area.getBottom() - 64.0f, 118.0f, 50.0f);
    g.setColour (juce::Colours::white);
    g.setFont (ArtworkFonts::panel (14.0f).withExtraKerningFactor (0.03f));
    g.drawFittedText ("SYNTH OUT TO\nAUDIO INTERFACE", note.toNearestInt(), juce::Justification::centredLeft, 2, 1.0f);

    const juce::Point<float> from (note.getRight() + 2.0f, note.getCentreY());
    const juce::Point<float> to (boot.x + 14.0f, note.getCentreY());
    g.setColour (accent);
    juce::Path arrow;
    arrow.addArrow ({ from, to }, 2.0f, 9.0f, 8.0f);
    g.fillPath (arrow);
}
