#pragma once

#include <juce_graphics/juce_graphics.h>
#include <functional>
#include <vector>

// Every picture of the utility: its resource name, its pixel size and how to
// draw it, in the order of the resource table.
class ArtworkCatalogue
{
public:
    struct Entry
    {
        juce::String name;
        int width, height;
        std::function<juce::Image()> render;
    };

    ArtworkCatalogue();
    ~ArtworkCatalogue();

    const std::vector<Entry>& entries() const { return list; }

private:
    struct Artists;
    std::unique_ptr<Artists> artists;
    std::vector<Entry> list;
};
