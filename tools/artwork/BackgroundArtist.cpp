#include "BackgroundArtist.h"

#include "ArtworkFonts.h"
#include "BassSynthPanelArtist.h"
#include "DrumMachinePanel.h"
#include "KestruneEmblem.h"
#include "PixelEffects.h"

namespace
{
    const juce::Colour titleRed (0xffdc2430);
    constexpr float titleBandHeight = 34.0f;

    float smoothstep (float edge0, float edge1, float x)
    {
        const float t = juce::jlimit (0.0f, 1.0f, (x - edge0) / (edge1 - edge0));
        return t * t * (3.0f - 2.0f * t);
    }
}

BackgroundArtist::BackgroundArtist() : photograph (DrumMachinePanel::render()) {}

juce::Image BackgroundArtist::shoot (int width, int height, const MachinePhotograph::Camera& camera, float exposure) const
{
    auto image = photograph.shoot (width, height, camera);
    PixelEffects::applyGain (image, [exposure] (int, int) { return exposure; });
    return image;
}

void BackgroundArtist::darkenField (juce::Image& image, juce::Rectangle<float> field, float gain, float feather)
{
    PixelEffects::applyGain (image, [=] (int x, int y)
    {
        const float px = (float) x + 0.5f, py = (float) y + 0.5f;
        const float dx = juce::jmax (field.getX() - px, px - field.getRight(), 0.0f);
        const float dy = juce::jmax (field.getY() - py, py - field.getBottom(), 0.0f);
        const float outside = smoothstep (0.0f, feather, std::sqrt (dx * dx + dy * dy));
        return gain + (1.0f - gain) * outside;
    });
}

void BackgroundArtist::drawTitleBand (juce::Image& image, const juce::String& title)
{
    juce::Graphics g (image);
    const float w = (float) image.getWidth();

    g.setGradientFill (juce::ColourGradient (juce::Colour (0xd8050506), 0.0f, 0.0f,
                                             juce::Colour (0xb0050506), 0.0f, titleBandHeight, false));
    g.fillRect (0.0f, 0.0f, w, titleBandHeight);
    g.setColour (juce::Colour (0xff000000));
    g.fillRect (0.0f, titleBandHeight, w, 1.0f);
    g.setColour (juce::Colour (0x26ffffff));
    g.fillRect (0.0f, titleBandHeight + 1.0f, w, 1.0f);

    // Red capitals with a faint glow, as if printed in luminous ink.
    auto font = ArtworkFonts::heading (17.0f).withExtraKerningFactor (0.14f);
    juce::GlyphArrangement glyphs;
    glyphs.addLineOfText (font, title.toUpperCase(), 16.0f, 23.0f);
    juce::Path text;
    glyphs.createPath (text);
    juce::DropShadow (titleRed.withAlpha (0.45f), 6, {}).drawForPath (g, text);
    g.setColour (juce::Colour (0xff000000));
    g.fillPath (text, juce::AffineTransform::translation (0.0f, 1.0f));
    g.setColour (titleRed);
    g.fillPath (text);

    // A small grey logotype to the right.
    juce::Graphics::ScopedSaveState save (g);
    auto logo = PixelEffects::createCanvas (200, 20);
    {
        juce::Graphics lg (logo);
        KestruneEmblem::drawLogotype (lg, { 0.0f, 2.0f, 200.0f, 13.0f }, juce::Colour (0xff8c8d91));
    }
    g.setOpacity (1.0f);   // images are drawn with the current colour's alpha
    g.drawImageAt (logo, image.getWidth() - 112, 9);
}

void BackgroundArtist::drawLogoBand (juce::Image& image, float bandHeight, float logoHeight, bool centred)
{
    juce::Graphics g (image);
    const float w = (float) image.getWidth();

    g.setGradientFill (juce::ColourGradient (juce::Colour (0xe0050506), 0.0f, 0.0f,
                                             juce::Colour (0xa8050506), 0.0f, bandHeight, false));
    g.fillRect (0.0f, 0.0f, w, bandHeight);
    g.setColour (juce::Colour (0xff000000));
    g.fillRect (0.0f, bandHeight, w, 1.0f);
    g.setColour (titleRed.withAlpha (0.8f));
    g.fillRect (0.0f, bandHeight + 1.0f, w, 1.0f);

    // Measure the logotype off-screen first so that it can be centred.
    auto measure = PixelEffects::createCanvas (1, 1);
    juce::Graphics mg (measure);
    const float logoWidth = KestruneEmblem::drawLogotype (mg, { 0.0f, 0.0f, 2000.0f, logoHeight }, juce::Colours::transparentBlack);
    const float x = centred ? (w - logoWidth) * 0.5f : 20.0f;
    const juce::Rectangle<float> area (x, (bandHeight - logoHeight) * 0.5f, logoWidth + 10.0f, logoHeight);

    auto layer = PixelEffects::createCanvas (image.getWidth(), image.getHeight());
    {
        juce::Graphics lg (layer);
        KestruneEmblem::drawLogotype (lg, area, titleRed);
    }
    juce::DropShadow (titleRed.withAlpha (0.5f), 8, {}).drawForImage (g, layer);
    juce::DropShadow (juce::Colour (0xff000000), 2, { 0, 2 }).drawForImage (g, layer);
    g.setOpacity (1.0f);   // images are drawn with the current colour's alpha
    g.drawImageAt (layer, 0, 0);
}

void BackgroundArtist::finish (juce::Image& image, juce::uint32 seed)
{
    PixelEffects::addGrain (image, seed, 1.6f);
}

juce::Image BackgroundArtist::mainBackground() const
{
    MachinePhotograph::Camera camera;
    camera.position = { 150.0f, 1450.0f, 2350.0f };
    camera.target = { 1000.0f, 150.0f, 900.0f };
    camera.roll = -0.07f;
    camera.fieldOfView = 0.8f;
    camera.aperture = 3.2f;
    camera.spotlight = { 900.0f, 0.0f, 700.0f };
    camera.spotRadius = 1100.0f;
    auto image = shoot (700, 500, camera, 0.9f);

    darkenField (image, { 0.0f, 60.0f, 440.0f, 440.0f }, 0.4f, 80.0f);
    darkenField (image, { 470.0f, 450.0f, 230.0f, 50.0f }, 0.55f, 20.0f);
    drawLogoBand (image, 46.0f, 28.0f, false);

    {
        juce::Graphics g (image);
        BassSynthPanelArtist::draw (g, { 480.0f, 58.0f, 206.0f, 384.0f });
    }

    finish (image, 0x6d61696e);
    return image;
}

juce::Image BackgroundArtist::aboutBackground() const
{
    MachinePhotograph::Camera camera;
    camera.position = { 1700.0f, 1300.0f, 2500.0f };
    camera.target = { 1250.0f, 150.0f, 900.0f };
    camera.roll = 0.06f;
    camera.fieldOfView = 0.7f;
    camera.aperture = 4.0f;
    camera.spotlight = { 1400.0f, 0.0f, 900.0f };
    camera.spotRadius = 700.0f;
    auto image = shoot (400, 311, camera, 0.85f);

    darkenField (image, { 0.0f, 140.0f, 400.0f, 40.0f }, 0.45f, 30.0f);
    darkenField (image, { 0.0f, 255.0f, 400.0f, 56.0f }, 0.45f, 25.0f);
    drawLogoBand (image, 80.0f, 40.0f, true);

    {
        juce::Graphics g (image);
        g.setColour (juce::Colour (0xffb9babd));
        g.setFont (ArtworkFonts::heading (12.0f).withExtraKerningFactor (0.45f));
        g.drawText ("TUNING UTILITY", juce::Rectangle<float> (0.0f, 92.0f, 400.0f, 16.0f), juce::Justification::centred, false);
    }

    finish (image, 0x61626f75);
    return image;
}

juce::Image BackgroundArtist::firmwareBackground() const
{
    MachinePhotograph::Camera camera;
    camera.position = { 2300.0f, 1200.0f, 2200.0f };
    camera.target = { 1850.0f, 150.0f, 620.0f };
    camera.roll = 0.03f;
    camera.fieldOfView = 0.62f;
    camera.aperture = 4.5f;
    camera.spotlight = { 2000.0f, 0.0f, 150.0f };
    camera.spotRadius = 600.0f;
    auto image = shoot (400, 311, camera, 0.85f);

    darkenField (image, { 0.0f, 70.0f, 360.0f, 110.0f }, 0.45f, 35.0f);
    darkenField (image, { 18.0f, 182.0f, 364.0f, 40.0f }, 0.3f, 12.0f);
    drawTitleBand (image, "FIRMWARE UPDATE");

    {
        // The frame the progress bar shows through.
        juce::Graphics g (image);
        const juce::Rectangle<float> frame (21.0f, 185.0f, 358.0f, 34.0f);
        juce::Path outline;
        outline.addRoundedRectangle (frame, 7.0f);
        juce::DropShadow (juce::Colour (0xc0000000), 4, { 0, 2 }).drawForPath (g, outline);
        g.setColour (juce::Colour (0x70000000));
        g.fillPath (outline);
        g.setColour (juce::Colour (0xffffffff));
        g.strokePath (outline, juce::PathStrokeType (2.0f));
    }

    finish (image, 0x6669726d);
    return image;
}

juce::Image BackgroundArtist::knobBackground() const
{
    MachinePhotograph::Camera camera;
    camera.position = { 60.0f, 900.0f, 1600.0f };
    camera.target = { 260.0f, 150.0f, 470.0f };
    camera.roll = -0.08f;
    camera.fieldOfView = 0.55f;
    camera.aperture = 6.0f;
    camera.spotlight = { 250.0f, 0.0f, 450.0f };
    camera.spotRadius = 400.0f;
    auto image = shoot (400, 311, camera, 0.85f);

    darkenField (image, { 0.0f, 36.0f, 400.0f, 100.0f }, 0.4f, 25.0f);
    darkenField (image, { 80.0f, 150.0f, 183.0f, 104.0f }, 0.45f, 40.0f);
    drawTitleBand (image, "ADJUST TUNING KNOB");
    finish (image, 0x6b6e6f62);
    return image;
}

juce::Image BackgroundArtist::preferencesBackground() const
{
    MachinePhotograph::Camera camera;
    camera.position = { 1450.0f, 1350.0f, 1650.0f };
    camera.target = { 1150.0f, 150.0f, 800.0f };
    camera.roll = 0.12f;
    camera.fieldOfView = 0.8f;
    camera.aperture = 3.0f;
    camera.spotlight = { 1200.0f, 0.0f, 1000.0f };
    camera.spotRadius = 800.0f;
    auto image = shoot (400, 500, camera, 0.85f);

    darkenField (image, { 0.0f, 90.0f, 400.0f, 290.0f }, 0.42f, 30.0f);
    drawTitleBand (image, "PREFERENCES");

    {
        // Faint rules between the rows of settings.
        juce::Graphics g (image);

        for (int i = 0; i <= 8; ++i)
        {
            const float y = 100.0f + 35.0f * (float) i - 5.5f;
            g.setColour (juce::Colour (0x2affffff));
            g.fillRect (10.0f, y, 380.0f, 1.0f);
        }
    }

    finish (image, 0x70726566);
    return image;
}

juce::Image BackgroundArtist::checkBackground() const
{
    MachinePhotograph::Camera camera;
    camera.position = { 2100.0f, 1500.0f, 2400.0f };
    camera.target = { 1100.0f, 150.0f, 800.0f };
    camera.roll = 0.05f;
    camera.fieldOfView = 0.85f;
    camera.aperture = 3.4f;
    camera.spotlight = { 1000.0f, 0.0f, 800.0f };
    camera.spotRadius = 1000.0f;
    auto image = shoot (700, 500, camera, 1.0f);

    // The chart draws its own dark panel: only the status and summary lines
    // and the strip of the progress display and the buttons are darkened.
    darkenField (image, { 0.0f, 36.0f, 700.0f, 30.0f }, 0.5f, 12.0f);
    darkenField (image, { 0.0f, 398.0f, 700.0f, 102.0f }, 0.5f, 16.0f);
    drawTitleBand (image, "TUNING CHECK");
    finish (image, 0x63686b74);
    return image;
}
