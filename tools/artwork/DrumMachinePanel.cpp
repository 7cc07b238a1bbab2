#include "DrumMachinePanel.h"

#include "ArtworkFonts.h"
#include "KestruneEmblem.h"
#include "KnobRenderer.h"
#include "PixelEffects.h"

namespace
{
    const juce::Colour legendColour (0xffd8d6cf);
    const juce::Colour accentRed (0xffd42a32);

    float hash (int a, int b)
    {
        auto h = (juce::uint32) a * 374761393u + (juce::uint32) b * 668265263u;
        h = (h ^ (h >> 13)) * 1274126177u;
        return (float) ((h ^ (h >> 16)) & 0xffffu) / 65535.0f;
    }

    // Walnut: dark growth lines wandering along the grain, with per-line
    // variation in tone. `along` runs with the grain, `across` over it.
    juce::Colour walnut (float along, float across)
    {
        const float warp = 14.0f * std::sin (along * 0.0042f + 1.3f) + 5.0f * std::sin (along * 0.013f + across * 0.04f);
        const float rings = across * 0.42f + warp;
        float line = 0.5f + 0.5f * std::sin (rings);
        line = line * line * line;
        const float tone = hash ((int) std::floor (rings / juce::MathConstants<float>::twoPi), 7);
        const float pore = hash ((int) along / 3, (int) (across * 1.3f)) * 0.08f;
        const juce::Colour light (0xff6b4128), dark (0xff2e1a0e);
        return light.interpolatedWith (dark, juce::jlimit (0.0f, 1.0f, 0.25f + 0.6f * line + 0.2f * tone + pore));
    }

    struct Section
    {
        const char* name;
        const char* knobs[6];
    };

    const Section sections[] = {
        { "BASS SYNTH", { "VOLUME", "TUNE", "CUTOFF", "RES", "ENV AMT", "DECAY" } },
        { "KICK",       { "LEVEL", "TUNE", "ATTACK", "DECAY", "TONE", "DRIVE" } },
        { "SNARE",      { "LEVEL", "TUNE", "SNAPPY", "DECAY", "TONE", "NOISE" } },
        { "TOM",        { "LEVEL", "TUNE", "PITCH", "DECAY", "LOW", "HIGH" } },
        { "CLAP",       { "LEVEL", "SPREAD", "TONE", "DECAY", "RIM", "RIM LVL" } },
        { "HATS",       { "LEVEL", "TUNE", "CL DEC", "OP DEC", "TONE", "CHOKE" } },
        { "CYMBAL",     { "LEVEL", "TUNE", "TONE", "DECAY", "COLOR", "MIX" } },
        { "PERC",       { "LEVEL", "TUNE", "SHAPE", "DECAY", "DELAY", "FDBK" } },
    };

    constexpr float sectionLeft = 110.0f;
    constexpr float sectionWidth = 272.5f;
}

juce::Colour DrumMachinePanel::frontFaceColour (float x, float y01)
{
    // Brushed aluminium strip with a lit top chamfer and a dark foot.
    const float brushed = 0.04f * (hash ((int) (y01 * 80.0f), 3) - 0.5f) + 0.02f * std::sin (x * 0.01f);
    auto base = juce::Colour (0xff3b3c40).withMultipliedBrightness (1.0f + brushed);

    if (y01 < 0.06f)
        return base.brighter (0.9f);

    return base.withMultipliedBrightness (1.0f - 0.5f * y01);
}

juce::Colour DrumMachinePanel::cheekSideColour (float z, float y01)
{
    return walnut (z, y01 * 140.0f + 40.0f).withMultipliedBrightness (0.75f - 0.3f * y01);
}

juce::Image DrumMachinePanel::render()
{
    auto image = PixelEffects::createCanvas (width, height);
    drawPlate (image);
    drawWoodCheeks (image);

    juce::Graphics g (image);
    drawHeader (g);
    drawVoiceSections (g);
    drawSequencer (g);
    drawScrews (g);
    return image;
}

void DrumMachinePanel::drawWoodCheeks (juce::Image& image)
{
    juce::Image::BitmapData data (image, juce::Image::BitmapData::writeOnly);

    for (int side = 0; side < 2; ++side)
    {
        const int x0 = side == 0 ? 0 : width - cheekWidth;

        for (int y = 0; y < height; ++y)
        {
            for (int x = 0; x < cheekWidth; ++x)
            {
                const float across = (float) (x0 + x) + (float) side * 517.0f;
                auto colour = walnut ((float) y, across);
                // Rounded top edge: lit towards the upper left.
                const float t = ((float) x + 0.5f) / (float) cheekWidth;
                const float profile = 0.62f + 0.5f * std::sin (juce::MathConstants<float>::pi * t) - 0.18f * t;
                colour = colour.withMultipliedBrightness (profile);
                auto* p = reinterpret_cast<juce::PixelARGB*> (data.getPixelPointer (x0 + x, y));
                p->set (colour.getPixelARGB());
            }
        }
    }
}

void DrumMachinePanel::drawPlate (juce::Image& image)
{
    // Brushed anodised aluminium: streaks along x whose strength drifts.
    juce::Random random (0x4b657374);
    std::vector<float> rowTone ((size_t) height), rowFreq ((size_t) height), rowPhase ((size_t) height);

    for (int y = 0; y < height; ++y)
    {
        rowTone[(size_t) y] = random.nextFloat() * 2.0f - 1.0f;
        rowFreq[(size_t) y] = 0.002f + 0.008f * random.nextFloat();
        rowPhase[(size_t) y] = juce::MathConstants<float>::twoPi * random.nextFloat();
    }

    const juce::Colour base (0xff2f3034);
    juce::Image::BitmapData data (image, juce::Image::BitmapData::writeOnly);

    for (int y = 0; y < height; ++y)
    {
        // Neighbouring rows share some tone, as real brushing marks are wider than a pixel.
        const float tone = 0.6f * rowTone[(size_t) y] + 0.2f * rowTone[(size_t) juce::jmax (0, y - 1)]
                           + 0.2f * rowTone[(size_t) juce::jmin (height - 1, y + 1)];

        for (int x = cheekWidth; x < width - cheekWidth; ++x)
        {
            const float streak = tone * (0.6f + 0.4f * std::sin ((float) x * rowFreq[(size_t) y] + rowPhase[(size_t) y]));
            const float gain = 1.0f + 0.09f * streak + 0.025f * (hash (x, y) - 0.5f);
            auto* p = reinterpret_cast<juce::PixelARGB*> (data.getPixelPointer (x, y));
            p->set (base.withMultipliedBrightness (gain).getPixelARGB());
        }
    }
}

void DrumMachinePanel::drawLegend (juce::Graphics& g, const juce::String& text, juce::Point<float> centre,
                                   float textHeight, juce::Colour colour)
{
    g.setColour (colour);
    g.setFont (ArtworkFonts::panel (textHeight).withExtraKerningFactor (0.06f));
    g.drawText (text, juce::Rectangle<float> (centre.x - 200.0f, centre.y - textHeight, 400.0f, textHeight * 2.0f),
                juce::Justification::centred, false);
}

void DrumMachinePanel::drawHeader (juce::Graphics& g)
{
    const float left = (float) cheekWidth, right = (float) (width - cheekWidth);

    // Plate edges: a lit chamfer at the back, a shadowed one at the front.
    g.setColour (juce::Colour (0x50ffffff));
    g.fillRect (left, 0.0f, right - left, 4.0f);
    g.setColour (juce::Colour (0x70000000));
    g.fillRect (left, (float) height - 5.0f, right - left, 5.0f);
    g.setColour (juce::Colour (0x90000000));
    g.fillRect (left, 0.0f, 3.0f, (float) height);
    g.fillRect (right - 3.0f, 0.0f, 3.0f, (float) height);

    KestruneEmblem::drawLogotype (g, { 140.0f, 52.0f, 600.0f, 74.0f }, legendColour);
    drawLegend (g, "ANALOG DRUM MACHINE", { 980.0f, 100.0f }, 30.0f, legendColour.withAlpha (0.8f));

    // Display window: smoked glass over a red segment readout.
    const juce::Rectangle<float> display (1880.0f, 44.0f, 360.0f, 104.0f);
    juce::DropShadow (juce::Colour (0xc0000000), 6, { 0, 2 }).drawForRectangle (g, display.toNearestInt());
    g.setColour (juce::Colour (0xff060405));
    g.fillRoundedRectangle (display, 6.0f);
    drawSevenSegment (g, display.reduced (40.0f, 18.0f), "128.0", juce::Colour (0xffff2a1e));
    g.setGradientFill (juce::ColourGradient (juce::Colour (0x28ffffff), display.getX(), display.getY(),
                                             juce::Colour (0x00ffffff), display.getX() + 160.0f, display.getBottom(), false));
    g.fillRoundedRectangle (display, 6.0f);
    g.setColour (juce::Colour (0x60000000));
    g.drawRoundedRectangle (display, 6.0f, 3.0f);
    drawLegend (g, "TEMPO", { display.getX() - 70.0f, display.getCentreY() }, 26.0f, legendColour);

    // Rule under the header.
    g.setColour (legendColour.withAlpha (0.55f));
    g.fillRect (110.0f, 170.0f, 2180.0f, 3.0f);
}

void DrumMachinePanel::drawSevenSegment (juce::Graphics& g, juce::Rectangle<float> area,
                                         const juce::String& digits, juce::Colour lit)
{
    // Segments a..g as (x0, y0, x1, y1) in a 1 x 2 cell.
    static const float segments[7][4] = {
        { 0.1f, 0.0f, 0.9f, 0.0f }, { 1.0f, 0.1f, 1.0f, 0.9f }, { 1.0f, 1.1f, 1.0f, 1.9f },
        { 0.1f, 2.0f, 0.9f, 2.0f }, { 0.0f, 1.1f, 0.0f, 1.9f }, { 0.0f, 0.1f, 0.0f, 0.9f },
        { 0.1f, 1.0f, 0.9f, 1.0f } };
    static const int patterns[10] = { 0x3f, 0x06, 0x5b, 0x4f, 0x66, 0x6d, 0x7d, 0x07, 0x7f, 0x6f };

    const float cellH = area.getHeight() / 2.0f;
    const float cellW = cellH * 0.55f;
    const float pitch = cellW * 1.75f;
    const float skew = 0.12f;
    float x = area.getX();
    juce::Path on, off;

    for (auto c : digits)
    {
        if (c == '.')
        {
            on.addEllipse (x - pitch * 0.42f, area.getBottom() - cellH * 0.14f, cellH * 0.14f, cellH * 0.14f);
            continue;
        }

        const int pattern = patterns[juce::jlimit (0, 9, (int) (c - '0'))];

        for (int s = 0; s < 7; ++s)
        {
            auto point = [&] (float u, float v)
            {
                return juce::Point<float> (x + u * cellW + (2.0f - v) * cellH * skew, area.getY() + v * cellH);
            };
            juce::Path seg;
            seg.startNewSubPath (point (segments[s][0], segments[s][1]));
            seg.lineTo (point (segments[s][2], segments[s][3]));
            juce::Path stroked;
            juce::PathStrokeType (cellH * 0.16f, juce::PathStrokeType::mitered, juce::PathStrokeType::rounded)
                .createStrokedPath (stroked, seg);
            ((pattern >> s) & 1 ? on : off).addPath (stroked);
        }

        x += pitch;
    }

    g.setColour (lit.withAlpha (0.07f));
    g.fillPath (off);
    juce::DropShadow (lit.withAlpha (0.9f), 10, {}).drawForPath (g, on);
    g.setColour (lit);
    g.fillPath (on);
    // Hot cores: bright segments look whiter than their filter colour.
    g.setColour (juce::Colour (0x50ffffff));
    g.fillPath (on);
}

void DrumMachinePanel::drawLed (juce::Graphics& g, juce::Point<float> centre, float radius, bool lit)
{
    // Bezel, lens, and for a lit LED a bloom around it.
    g.setColour (juce::Colour (0xff101012));
    g.fillEllipse (centre.x - radius * 1.45f, centre.y - radius * 1.45f, radius * 2.9f, radius * 2.9f);

    if (lit)
    {
        juce::ColourGradient bloom (juce::Colour (0x90ff2a1a), centre.x, centre.y,
                                    juce::Colour (0x00ff2a1a), centre.x + radius * 4.5f, centre.y, true);
        g.setGradientFill (bloom);
        g.fillEllipse (centre.x - radius * 4.5f, centre.y - radius * 4.5f, radius * 9.0f, radius * 9.0f);
    }

    juce::ColourGradient lens (lit ? juce::Colour (0xffffd0b0) : juce::Colour (0xff5a1a18), centre.x - radius * 0.3f, centre.y - radius * 0.3f,
                               lit ? juce::Colour (0xffe0160c) : juce::Colour (0xff240808), centre.x + radius, centre.y + radius, true);
    g.setGradientFill (lens);
    g.fillEllipse (centre.x - radius, centre.y - radius, radius * 2.0f, radius * 2.0f);
    g.setColour (juce::Colour (0x70ffffff));
    g.fillEllipse (centre.x - radius * 0.55f, centre.y - radius * 0.6f, radius * 0.6f, radius * 0.45f);
}

void DrumMachinePanel::drawRubberPad (juce::Graphics& g, juce::Rectangle<float> area, juce::Colour colour, float corner)
{
    juce::Path shape;
    shape.addRoundedRectangle (area, corner);
    juce::DropShadow (juce::Colour (0xd0000000), 14, { 6, 10 }).drawForPath (g, shape);

    // Sides of the pad, then its slightly domed top.
    g.setGradientFill (juce::ColourGradient (colour.darker (0.2f), area.getX(), area.getY(),
                                             colour.darker (1.2f), area.getRight(), area.getBottom(), false));
    g.fillPath (shape);
    const auto top = area.reduced (area.getWidth() * 0.07f).translated (-1.5f, -2.5f);
    juce::Path topShape;
    topShape.addRoundedRectangle (top, corner * 0.8f);
    juce::ColourGradient face (colour.brighter (0.25f), top.getX(), top.getY(),
                               colour.darker (0.25f), top.getRight(), top.getBottom(), false);
    g.setGradientFill (face);
    g.fillPath (topShape);
    juce::ColourGradient sheen (juce::Colour (0x30ffffff), top.getCentreX() - top.getWidth() * 0.2f, top.getY() + top.getHeight() * 0.25f,
                                juce::Colour (0x00ffffff), top.getRight(), top.getBottom(), true);
    g.setGradientFill (sheen);
    g.fillPath (topShape);
}

void DrumMachinePanel::drawVoiceSections (juce::Graphics& g)
{
    const float top = 190.0f, bottom = 880.0f;
    KnobRenderer::Style knobStyle;
    knobStyle.body = juce::Colour (0xff1d1d20);
    knobStyle.cap = juce::Colour (0xff5d6066);

    for (int s = 0; s < 8; ++s)
    {
        const auto& section = sections[s];
        const float x = sectionLeft + sectionWidth * (float) s;
        const bool bass = s == 0;

        if (s > 0)
        {
            g.setColour (legendColour.withAlpha (0.35f));
            g.fillRect (x - 1.0f, top + 10.0f, 2.0f, bottom - top - 20.0f);
        }

        drawLegend (g, section.name, { x + sectionWidth * 0.5f, top + 28.0f }, 34.0f, bass ? accentRed : legendColour);

        if (bass)
        {
            g.setColour (accentRed.withAlpha (0.85f));
            g.drawRoundedRectangle ({ x + 8.0f, top + 4.0f, sectionWidth - 16.0f, bottom - top - 8.0f }, 12.0f, 3.0f);
        }

        for (int k = 0; k < 6; ++k)
        {
            const juce::Point<float> centre (x + sectionWidth * (k % 2 == 0 ? 0.29f : 0.71f), top + 140.0f + 165.0f * (float) (k / 2));
            float angle;

            if (bass)
            {
                // The settings calibration asks for: volume and cutoff up,
                // tune centred, resonance, envelope and decay down.
                static const float bassAngles[6] = { 2.3f, 0.0f, 2.3f, -2.3f, -2.3f, -2.3f };
                angle = bassAngles[k];
            }
            else
            {
                angle = -2.2f + 4.4f * hash (s * 11 + k, 91);
            }

            KnobRenderer::drawScale (g, centre, 52.0f, 62.0f, 4.8f, 11, legendColour.withAlpha (0.7f), 2.5f);
            KnobRenderer::draw (g, centre, 44.0f, angle, knobStyle);
            drawLegend (g, section.knobs[k], centre + juce::Point<float> (0.0f, 82.0f), 24.0f, legendColour);
        }

        // Voice select button with its LED.
        const juce::Rectangle<float> button (x + sectionWidth * 0.5f - 46.0f, bottom - 62.0f, 92.0f, 44.0f);
        drawRubberPad (g, button, juce::Colour (0xff45464b), 10.0f);
        drawLed (g, { x + sectionWidth * 0.5f + 75.0f, button.getCentreY() }, 7.0f, bass);
    }
}

void DrumMachinePanel::drawSequencer (juce::Graphics& g)
{
    g.setColour (legendColour.withAlpha (0.55f));
    g.fillRect (110.0f, 905.0f, 2180.0f, 3.0f);

    // Transport and master volume on the left.
    KnobRenderer::Style big;
    big.body = juce::Colour (0xff1d1d20);
    big.cap = juce::Colour (0xff6a6d73);
    const juce::Point<float> master (255.0f, 1010.0f);
    KnobRenderer::drawScale (g, master, 66.0f, 78.0f, 4.8f, 11, legendColour.withAlpha (0.7f), 3.0f);
    KnobRenderer::draw (g, master, 56.0f, 0.9f, big);
    drawLegend (g, "MASTER", master + juce::Point<float> (150.0f, -47.0f), 24.0f, legendColour);

    const char* transport[] = { "PLAY", "STOP" };

    for (int i = 0; i < 2; ++i)
    {
        const juce::Rectangle<float> pad (130.0f + 140.0f * (float) i, 1120.0f, 118.0f, 86.0f);
        drawRubberPad (g, pad, i == 0 ? juce::Colour (0xff8d8e93) : juce::Colour (0xff5b5c61), 14.0f);
        drawLegend (g, transport[i], { pad.getCentreX(), pad.getBottom() + 30.0f }, 24.0f, legendColour);
    }

    // Sixteen step pads with their LEDs; a four-on-the-floor pattern is lit.
    for (int step = 0; step < 16; ++step)
    {
        const float x = 450.0f + 114.0f * (float) step;
        const juce::Rectangle<float> pad (x, 1080.0f, 94.0f, 110.0f);
        const bool lit = step % 4 == 0;
        drawLed (g, { pad.getCentreX(), 1030.0f }, 9.0f, lit);
        drawRubberPad (g, pad, juce::Colour (0xffa5a29a), 12.0f);
        drawLegend (g, juce::String (step + 1), { pad.getCentreX(), pad.getBottom() + 32.0f }, 24.0f, legendColour);

        if (step % 4 == 0)
        {
            g.setColour (legendColour.withAlpha (0.5f));
            g.fillRect (x, 1248.0f, 114.0f * 4.0f - 20.0f, 3.0f);
        }
    }

    drawLegend (g, "STEP", { 400.0f, 1030.0f }, 24.0f, legendColour);
}

void DrumMachinePanel::drawScrews (juce::Graphics& g)
{
    const juce::Point<float> screws[] = { { 110.0f, 28.0f }, { 2290.0f, 28.0f }, { 110.0f, 1272.0f }, { 2290.0f, 1272.0f } };

    for (auto c : screws)
    {
        const float r = 13.0f;
        juce::Path head;
        head.addEllipse (c.x - r, c.y - r, 2.0f * r, 2.0f * r);
        juce::DropShadow (juce::Colour (0xb0000000), 4, { 2, 3 }).drawForPath (g, head);
        g.setGradientFill (juce::ColourGradient (juce::Colour (0xff9a9ca0), c.x - r, c.y - r,
                                                 juce::Colour (0xff2a2b2e), c.x + r, c.y + r, false));
        g.fillPath (head);
        g.setColour (juce::Colour (0xff151517));
        g.drawLine (c.x - r * 0.6f, c.y - r * 0.2f, c.x + r * 0.6f, c.y + r * 0.2f, 3.0f);
        g.drawLine (c.x - r * 0.2f, c.y + r * 0.6f, c.x + r * 0.2f, c.y - r * 0.6f, 3.0f);
    }
}
