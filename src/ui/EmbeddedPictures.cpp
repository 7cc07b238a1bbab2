#include "EmbeddedPictures.h"

juce::Image EmbeddedPictures::load (const char* data, int size)
{
    return juce::ImageCache::getFromMemory (data, size);
}

void EmbeddedPictures::setButtonImages (juce::ImageButton& button, const juce::Image& normal, const juce::Image& over,
                                        const juce::Image& down)
{
    const auto clear = juce::Colours::transparentBlack;
    button.setImages (true, true, true, normal, 1.0f, clear, over, 1.0f, clear, down, 1.0f, clear, 0.0f);
}
