#include "EmbeddedPictures.h"

#include "EmbeddedData.h"

#include <cstring>

juce::Image EmbeddedPictures::load (const char* data, int size)
{
    return juce::ImageCache::getFromMemory (data, size);
}

std::vector<juce::Image> EmbeddedPictures::decodeAll()
{
    std::vector<juce::Image> pictures;
    // The resources keep no file name extension: a PNG tells itself by its signature.
    constexpr char signature[] = "\x89PNG";
    for (int i = 0; i < EmbeddedData::namedResourceListSize; ++i)
    {
        int size = 0;
        const auto* data = EmbeddedData::getNamedResource (EmbeddedData::namedResourceList[i], size);
        if (data != nullptr && size > 4 && std::memcmp (data, signature, 4) == 0)
            pictures.push_back (load (data, size));
    }
    return pictures;
}

void EmbeddedPictures::setButtonImages (juce::ImageButton& button, const juce::Image& normal, const juce::Image& over,
                                        const juce::Image& down)
{
    const auto clear = juce::Colours::transparentBlack;
    button.setImages (true, true, true, normal, 1.0f, clear, over, 1.0f, clear, down, 1.0f, clear, 0.0f);
}
