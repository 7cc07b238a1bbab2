#include "MachinePhotograph.h"

#include "DrumMachinePanel.h"
#include "PixelEffects.h"

#include <vector>

namespace
{
    using Vec3 = MachinePhotograph::Vec3;

    Vec3 operator+ (Vec3 a, Vec3 b) { return { a.x + b.x, a.y + b.y, a.z + b.z }; }
    Vec3 operator- (Vec3 a, Vec3 b) { return { a.x - b.x, a.y - b.y, a.z - b.z }; }
    Vec3 operator* (Vec3 a, float s) { return { a.x * s, a.y * s, a.z * s }; }
    float dot (Vec3 a, Vec3 b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
    Vec3 cross (Vec3 a, Vec3 b) { return { a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x }; }
    Vec3 normalised (Vec3 a) { return a * (1.0f / std::sqrt (dot (a, a))); }

    struct Hit
    {
        juce::PixelARGB colour;
        float distance;
        Vec3 point;
    };

    float hash (int a, int b)
    {
        auto h = (juce::uint32) a * 2246822519u + (juce::uint32) b * 3266489917u;
        h = (h ^ (h >> 15)) * 668265263u;
        return (float) ((h ^ (h >> 13)) & 0xffffu) / 65535.0f;
    }

    // Dark desk mat: a faint weave, and the machine's contact shadow.
    juce::Colour deskColour (Vec3 p)
    {
        const float weave = 0.06f * (hash ((int) std::floor (p.x / 6.0f), (int) std::floor (p.z / 6.0f)) - 0.5f);
        const float dx = juce::jmax (0.0f, juce::jmax (-p.x, p.x - (float) DrumMachinePanel::width));
        const float dz = juce::jmax (0.0f, juce::jmax (-p.z, p.z - (float) DrumMachinePanel::height));
        const float contact = 1.0f - 0.75f * std::exp (-std::sqrt (dx * dx + dz * dz) / 70.0f);
        return juce::Colour (0xff1c1b1d).withMultipliedBrightness ((1.0f + weave) * contact);
    }
}

MachinePhotograph::MachinePhotograph (const juce::Image& panelImage) : panel (panelImage) {}

juce::Image MachinePhotograph::shoot (int width, int height, const Camera& camera) const
{
    constexpr int oversample = 2;
    const int w = width * oversample, h = height * oversample;
    auto film = PixelEffects::createCanvas (w, h);
    std::vector<float> depth ((size_t) width * (size_t) height, 0.0f);

    const Vec3 forward = normalised (camera.target - camera.position);
    Vec3 right = normalised (cross (forward, { 0.0f, 1.0f, 0.0f }));
    Vec3 up = cross (right, forward);
    {
        const float c = std::cos (camera.roll), s = std::sin (camera.roll);
        const Vec3 r2 = right * c + up * (-s);
        up = up * c + right * s;
        right = r2;
    }
    const float focal = (float) w * 0.5f / std::tan (camera.fieldOfView * 0.5f);
    const float panelW = (float) DrumMachinePanel::width, panelD = (float) DrumMachinePanel::height;
    const float focusDistance = std::sqrt (dot (camera.target - camera.position, camera.target - camera.position));

    const juce::Image::BitmapData source (panel, juce::Image::BitmapData::readOnly);
    juce::Image::BitmapData out (film, juce::Image::BitmapData::writeOnly);

    for (int py = 0; py < h; ++py)
    {
        for (int px = 0; px < w; ++px)
        {
            const float sx = (float) px + 0.5f - (float) w * 0.5f;
            const float sy = (float) py + 0.5f - (float) h * 0.5f;
            const Vec3 ray = normalised (forward * focal + right * sx + up * (-sy));
            Hit hit { juce::PixelARGB (255, 0, 0, 0), 1.0e9f, {} };

            // Top of the case.
            if (ray.y < 0.0f)
            {
                const float t = (caseHeight - camera.position.y) / ray.y;
                const Vec3 p = camera.position + ray * t;

                if (p.x >= 0.0f && p.x < panelW && p.z >= 0.0f && p.z < panelD)
                    hit = { PixelEffects::sample (source, p.x, p.z), t, p };
            }

            // Front face, then the side facing the camera.
            if (hit.distance > 1.0e8f && ray.z < 0.0f && camera.position.z > panelD)
            {
                const float t = (panelD - camera.position.z) / ray.z;
                const Vec3 p = camera.position + ray * t;

                if (p.x >= 0.0f && p.x < panelW && p.y >= 0.0f && p.y < caseHeight)
                    hit = { DrumMachinePanel::frontFaceColour (p.x, 1.0f - p.y / caseHeight).getPixelARGB(), t, p };
            }

            if (hit.distance > 1.0e8f)
            {
                const bool leftVisible = camera.position.x < 0.0f && ray.x > 0.0f;
                const bool rightVisible = camera.position.x > panelW && ray.x < 0.0f;

                if (leftVisible || rightVisible)
                {
                    const float planeX = leftVisible ? 0.0f : panelW;
                    const float t = (planeX - camera.position.x) / ray.x;
                    const Vec3 p = camera.position + ray * t;

                    if (p.z >= 0.0f && p.z < panelD && p.y >= 0.0f && p.y < caseHeight)
                        hit = { DrumMachinePanel::cheekSideColour (p.z, 1.0f - p.y / caseHeight).getPixelARGB(), t, p };
                }
            }

            // The desk.
            if (hit.distance > 1.0e8f && ray.y < 0.0f)
            {
                const float t = -camera.position.y / ray.y;
                const Vec3 p = camera.position + ray * t;
                hit = { deskColour (p).getPixelARGB(), t, p };
            }

            // Spotlight and distance fall-off.
            const float dx = hit.point.x - camera.spotlight.x, dz = hit.point.z - camera.spotlight.z;
            const float light = 0.35f + 0.85f * std::exp (-(dx * dx + dz * dz) / (camera.spotRadius * camera.spotRadius));
            const float gain = camera.exposure * light;
            auto c = hit.colour;
            c.setARGB (255, (juce::uint8) juce::jmin (255, juce::roundToInt ((float) c.getRed() * gain)),
                       (juce::uint8) juce::jmin (255, juce::roundToInt ((float) c.getGreen() * gain)),
                       (juce::uint8) juce::jmin (255, juce::roundToInt ((float) c.getBlue() * gain)));
            *reinterpret_cast<juce::PixelARGB*> (out.getPixelPointer (px, py)) = c;

            if (px % oversample == 0 && py % oversample == 0)
                depth[(size_t) (py / oversample) * (size_t) width + (size_t) (px / oversample)] = juce::jmin (hit.distance, 1.0e6f);
        }
    }

    auto sharp = PixelEffects::downsample (film, oversample);

    // Depth of field: blend towards progressively blurred copies as the
    // circle of confusion grows away from the focus distance.
    auto soft = sharp.createCopy();
    PixelEffects::blur (soft, 2, 2);
    auto softer = sharp.createCopy();
    PixelEffects::blur (softer, 5, 5);
    auto confusion = [&] (int x, int y)
    {
        const float d = depth[(size_t) y * (size_t) width + (size_t) x];
        return camera.aperture * std::abs (1.0f - focusDistance / d);
    };
    auto stage1 = PixelEffects::blend (sharp, soft, [&] (int x, int y) { return confusion (x, y); });
    auto photo = PixelEffects::blend (stage1, softer, [&] (int x, int y) { return confusion (x, y) - 1.0f; });

    // Vignette: the lens darkens the corners.
    PixelEffects::applyGain (photo, [&] (int x, int y)
    {
        const float nx = ((float) x + 0.5f) / (float) width - 0.5f, ny = ((float) y + 0.5f) / (float) height - 0.5f;
        return 1.0f - 0.9f * (nx * nx + ny * ny);
    });
    return photo;
}
