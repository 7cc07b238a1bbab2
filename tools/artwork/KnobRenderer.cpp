#include "KnobRenderer.h"

juce::Point<float> KnobRenderer::pointOnCircle (juce::Point<float> centre, float radius, float angle)
{
    return { centre.x + radius * std::sin (angle), centre.y - radius * std::cos (angle) };
}

void KnobRenderer::draw (juce::Graphics& g, juce::Point<float> centre, float radius,
                         float angle, const Style& style)
{
    using juce::Colour;
    auto circle = [&] (float r)
    {
        juce::Path p;
        p.addEllipse (centre.x - r, centre.y - r, 2.0f * r, 2.0f * r);
        return p;
    };

    // Cast shadow, long and soft towards the lower right.
    juce::DropShadow (Colour (0xff000000).withAlpha (style.shadowStrength),
                      juce::jmax (2, juce::roundToInt (radius * 0.45f)),
                      { juce::roundToInt (radius * 0.18f), juce::roundToInt (radius * 0.3f) })
        .drawForPath (g, circle (radius));

    // Skirt: dark, with a rim light on the upper left.
    {
        juce::ColourGradient skirt (style.body.brighter (0.9f), centre.x - radius, centre.y - radius,
                                    style.body.darker (0.8f), centre.x + radius * 0.7f, centre.y + radius * 0.7f, false);
        skirt.addColour (0.45, style.body);
        g.setGradientFill (skirt);
        g.fillPath (circle (radius));
    }

    // Knurling: fine ridges around the skirt.
    {
        const int ridges = juce::jlimit (18, 72, juce::roundToInt (radius * 2.2f));

        for (int i = 0; i < ridges; ++i)
        {
            const float a = juce::MathConstants<float>::twoPi * (float) i / (float) ridges;
            const float lit = 0.5f + 0.5f * std::cos (a + juce::MathConstants<float>::pi * 0.25f);
            g.setColour (Colour (0xffffffff).withAlpha (0.05f + 0.18f * lit));
            g.drawLine (juce::Line<float> (pointOnCircle (centre, radius * 0.83f, a),
                                           pointOnCircle (centre, radius * 0.98f, a)),
                        juce::jmax (0.6f, radius * 0.035f));
        }
    }

    // Step between skirt and cap.
    juce::DropShadow (Colour (0xff000000).withAlpha (0.6f), juce::jmax (1, juce::roundToInt (radius * 0.12f)),
                      { juce::roundToInt (radius * 0.05f), juce::roundToInt (radius * 0.08f) })
        .drawForPath (g, circle (radius * 0.78f));

    // Cap: a brushed-aluminium-like face, brighter on the upper left.
    {
        const float r = radius * 0.76f;
        juce::ColourGradient cap (style.cap.brighter (0.7f), centre.x - r, centre.y - r,
                                  style.cap.darker (0.6f), centre.x + r, centre.y + r, false);
        cap.addColour (0.5, style.cap);
        g.setGradientFill (cap);
        g.fillPath (circle (r));

        // Machined rings.
        for (int i = 1; i < 7; ++i)
        {
            const float rr = r * (float) i / 7.0f;
            g.setColour (Colour ((i % 2) == 0 ? 0xffffffff : 0xff000000).withAlpha (0.05f));
            g.drawEllipse (centre.x - rr, centre.y - rr, 2.0f * rr, 2.0f * rr, juce::jmax (0.5f, r * 0.04f));
        }

        // Bevel: light edge top-left, dark edge bottom-right.
        juce::ColourGradient rim (Colour (0xffffffff).withAlpha (0.55f), centre.x - r, centre.y - r,
                                  Colour (0xff000000).withAlpha (0.55f), centre.x + r, centre.y + r, false);
        g.setGradientFill (rim);
        g.drawEllipse (centre.x - r, centre.y - r, 2.0f * r, 2.0f * r, juce::jmax (0.8f, r * 0.06f));

        // Specular highlight.
        const float hr = r * 0.55f;
        const auto hc = centre + juce::Point<float> (-r * 0.35f, -r * 0.4f);
        juce::ColourGradient specular (Colour (0xffffffff).withAlpha (0.35f), hc.x, hc.y,
                                       Colour (0xffffffff).withAlpha (0.0f), hc.x + hr, hc.y, true);
        g.setGradientFill (specular);
        g.fillEllipse (hc.x - hr, hc.y - hr, 2.0f * hr, 2.0f * hr);
    }

    // Pointer line, slightly engraved.
    {
        const auto inner = pointOnCircle (centre, radius * 0.22f, angle);
        const auto outer = pointOnCircle (centre, radius * 0.74f, angle);
        const float width = juce::jmax (1.2f, radius * 0.1f);
        g.setColour (Colour (0xff000000).withAlpha (0.5f));
        const juce::Point<float> drop (width * 0.3f, width * 0.4f);
        g.drawLine (juce::Line<float> (inner + drop, outer + drop), width);
        juce::Path line;
        line.startNewSubPath (inner);
        line.lineTo (outer);
        g.setColour (style.pointer);
        g.strokePath (line, juce::PathStrokeType (width, juce::PathStrokeType::curved, juce::PathStrokeType::rounded));
    }
}

void KnobRenderer::drawScale (juce::Graphics& g, juce::Point<float> centre, float innerRadius,
                              float outerRadius, float sweep, int ticks, juce::Colour colour,
                              float thickness)
{
    g.setColour (colour);

    for (int i = 0; i < ticks; ++i)
    {
        const float a = -sweep * 0.5f + sweep * (float) i / (float) (ticks - 1);
        const bool major = i == 0 || i == ticks - 1 || i == ticks / 2;
        g.drawLine (juce::Line<float> (pointOnCircle (centre, innerRadius, a),
                                       pointOnCircle (centre, major ? outerRadius : (innerRadius + outerRadius) * 0.5f, a)),
                    major ? thickness * 1.3f : thickness);
    }
}
