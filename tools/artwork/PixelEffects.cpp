#include "PixelEffects.h"

#include <vector>

namespace
{
    // Premultiplied channels as floats, four per pixel (b, g, r, a order is
    // irrelevant here: every operation treats the channels alike).
    struct FloatPlanes
    {
        int width = 0, height = 0;
        std::vector<float> values;

        explicit FloatPlanes (const juce::Image& image)
            : width (image.getWidth()), height (image.getHeight()),
              values ((size_t) width * (size_t) height * 4)
        {
            const juce::Image::BitmapData data (image, juce::Image::BitmapData::readOnly);

            for (int y = 0; y < height; ++y)
            {
                auto* src = data.getLinePointer (y);

                for (int x = 0; x < width * 4; ++x)
                    values[(size_t) y * (size_t) width * 4 + (size_t) x] = (float) src[x];
            }
        }

        void writeTo (juce::Image& image) const
        {
            juce::Image::BitmapData data (image, juce::Image::BitmapData::writeOnly);

            for (int y = 0; y < height; ++y)
            {
                auto* dst = data.getLinePointer (y);

                for (int x = 0; x < width; ++x)
                {
                    auto* v = &values[((size_t) y * (size_t) width + (size_t) x) * 4];
                    // Keep premultiplication valid: no channel above alpha.
                    auto alpha = juce::jlimit (0.0f, 255.0f, v[3]);

                    for (int c = 0; c < 4; ++c)
                    {
                        auto value = c == 3 ? alpha : juce::jlimit (0.0f, alpha, v[c]);
                        dst[x * 4 + c] = (juce::uint8) juce::roundToInt (value);
                    }
                }
            }
        }

        // One box pass along a line of `count` pixels `stride` floats apart.
        static void boxLine (float* line, int count, int stride, int radius, std::vector<float>& scratch)
        {
            scratch.resize ((size_t) count * 4);
            const float scale = 1.0f / (float) (2 * radius + 1);

            for (int c = 0; c < 4; ++c)
            {
                float sum = 0.0f;

                for (int i = -radius; i <= radius; ++i)
                    sum += line[juce::jlimit (0, count - 1, i) * stride + c];

                for (int i = 0; i < count; ++i)
                {
                    scratch[(size_t) i * 4 + (size_t) c] = sum * scale;
                    sum += line[juce::jmin (count - 1, i + radius + 1) * stride + c];
                    sum -= line[juce::jmax (0, i - radius) * stride + c];
                }
            }

            for (int i = 0; i < count; ++i)
                for (int c = 0; c < 4; ++c)
                    line[i * stride + c] = scratch[(size_t) i * 4 + (size_t) c];
        }
    };
}

juce::Image PixelEffects::createCanvas (int width, int height)
{
    return juce::Image (juce::Image::ARGB, width, height, true, juce::SoftwareImageType());
}

void PixelEffects::blur (juce::Image& image, int radiusX, int radiusY)
{
    FloatPlanes planes (image);
    std::vector<float> scratch;

    for (int pass = 0; pass < 3; ++pass)
    {
        if (radiusX > 0)
            for (int y = 0; y < planes.height; ++y)
                FloatPlanes::boxLine (&planes.values[(size_t) y * (size_t) planes.width * 4],
                                      planes.width, 4, radiusX, scratch);

        if (radiusY > 0)
            for (int x = 0; x < planes.width; ++x)
                FloatPlanes::boxLine (&planes.values[(size_t) x * 4], planes.height,
                                      planes.width * 4, radiusY, scratch);
    }

    planes.writeTo (image);
}

juce::Image PixelEffects::downsample (const juce::Image& source, int factor)
{
    auto result = createCanvas (source.getWidth() / factor, source.getHeight() / factor);
    const juce::Image::BitmapData src (source, juce::Image::BitmapData::readOnly);
    juce::Image::BitmapData dst (result, juce::Image::BitmapData::writeOnly);
    const float scale = 1.0f / (float) (factor * factor);

    for (int y = 0; y < result.getHeight(); ++y)
    {
        for (int x = 0; x < result.getWidth(); ++x)
        {
            float sums[4] = {};

            for (int dy = 0; dy < factor; ++dy)
            {
                auto* line = src.getLinePointer (y * factor + dy);

                for (int dx = 0; dx < factor; ++dx)
                    for (int c = 0; c < 4; ++c)
                        sums[c] += (float) line[(x * factor + dx) * 4 + c];
            }

            auto* out = dst.getLinePointer (y) + x * 4;

            for (int c = 0; c < 4; ++c)
                out[c] = (juce::uint8) juce::roundToInt (sums[c] * scale);
        }
    }

    return result;
}

juce::PixelARGB PixelEffects::sample (const juce::Image::BitmapData& data, float x, float y)
{
    x -= 0.5f;
    y -= 0.5f;
    const int x0 = (int) std::floor (x), y0 = (int) std::floor (y);
    const float fx = x - (float) x0, fy = y - (float) y0;
    float result[4] = {};

    for (int dy = 0; dy < 2; ++dy)
    {
        auto* line = data.getLinePointer (juce::jlimit (0, data.height - 1, y0 + dy));
        const float wy = dy == 0 ? 1.0f - fy : fy;

        for (int dx = 0; dx < 2; ++dx)
        {
            auto* p = line + juce::jlimit (0, data.width - 1, x0 + dx) * 4;
            const float w = wy * (dx == 0 ? 1.0f - fx : fx);

            for (int c = 0; c < 4; ++c)
                result[c] += w * (float) p[c];
        }
    }

    juce::PixelARGB pixel;
    auto* raw = reinterpret_cast<juce::uint8*> (&pixel);

    for (int c = 0; c < 4; ++c)
        raw[c] = (juce::uint8) juce::jlimit (0, 255, juce::roundToInt (result[c]));

    return pixel;
}

void PixelEffects::addGrain (juce::Image& image, juce::uint32 seed, float amount)
{
    juce::Random random ((juce::int64) seed);
    juce::Image::BitmapData data (image, juce::Image::BitmapData::readWrite);

    for (int y = 0; y < data.height; ++y)
    {
        for (int x = 0; x < data.width; ++x)
        {
            auto* p = reinterpret_cast<juce::PixelARGB*> (data.getPixelPointer (x, y));
            const float noise = (random.nextFloat() + random.nextFloat() - 1.0f) * amount;
            const int alpha = p->getAlpha();
            auto shift = [&] (juce::uint8 v)
            {
                return (juce::uint8) juce::jlimit (0, alpha, juce::roundToInt ((float) v + noise * (float) alpha / 255.0f));
            };
            p->setARGB ((juce::uint8) alpha, shift (p->getRed()), shift (p->getGreen()), shift (p->getBlue()));
        }
    }
}

void PixelEffects::applyGain (juce::Image& image, const std::function<float (int, int)>& gain)
{
    juce::Image::BitmapData data (image, juce::Image::BitmapData::readWrite);

    for (int y = 0; y < data.height; ++y)
    {
        for (int x = 0; x < data.width; ++x)
        {
            auto* p = reinterpret_cast<juce::PixelARGB*> (data.getPixelPointer (x, y));
            const float g = gain (x, y);
            const int alpha = p->getAlpha();
            auto scale = [&] (juce::uint8 v)
            {
                return (juce::uint8) juce::jlimit (0, alpha, juce::roundToInt ((float) v * g));
            };
            p->setARGB ((juce::uint8) alpha, scale (p->getRed()), scale (p->getGreen()), scale (p->getBlue()));
        }
    }
}

juce::Image PixelEffects::blend (const juce::Image& a, const juce::Image& b,
                                 const std::function<float (int, int)>& weight)
{
    jassert (a.getBounds() == b.getBounds());
    auto result = createCanvas (a.getWidth(), a.getHeight());
    const juce::Image::BitmapData da (a, juce::Image::BitmapData::readOnly);
    const juce::Image::BitmapData db (b, juce::Image::BitmapData::readOnly);
    juce::Image::BitmapData dr (result, juce::Image::BitmapData::writeOnly);

    for (int y = 0; y < dr.height; ++y)
    {
        for (int x = 0; x < dr.width; ++x)
        {
            const float w = juce::jlimit (0.0f, 1.0f, weight (x, y));
            auto* pa = da.getPixelPointer (x, y);
            auto* pb = db.getPixelPointer (x, y);
            auto* pr = dr.getPixelPointer (x, y);

            for (int c = 0; c < 4; ++c)
                pr[c] = (juce::uint8) juce::roundToInt ((float) pa[c] + ((float) pb[c] - (float) pa[c]) * w);
        }
    }

    return result;
}
