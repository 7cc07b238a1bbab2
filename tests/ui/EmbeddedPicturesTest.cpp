#include "EmbeddedData.h"
#include "ui/EmbeddedPictures.h"

#include <gtest/gtest.h>

#include <thread>

// Decoded on another thread and kept there, every picture a window asks for
// is then the kept one, not decoded again.
TEST (EmbeddedPictures, PicturesDecodedAheadAreTheOnesTheWindowsGet)
{
    std::vector<juce::Image> kept;
    std::thread ([&kept] { kept = EmbeddedPictures::decodeAll(); }).join();
    ASSERT_FALSE (kept.empty());
    for (const auto& picture : kept)
        EXPECT_TRUE (picture.isValid());
    for (const auto& [data, size] : { std::pair { EmbeddedData::knobBackground, EmbeddedData::knobBackgroundSize },
                                      std::pair { EmbeddedData::ledOff, EmbeddedData::ledOffSize },
                                      std::pair { EmbeddedData::updateButtonOver, EmbeddedData::updateButtonOverSize } })
    {
        const auto shown = EmbeddedPictures::load (data, size);
        EXPECT_NE (std::find (kept.begin(), kept.end(), shown), kept.end());
    }
}
