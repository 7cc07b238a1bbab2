#include "ArtworkCatalogue.h"

#include "BackgroundArtist.h"
#include "ButtonArtist.h"
#include "IconArtist.h"

struct ArtworkCatalogue::Artists
{
    BackgroundArtist backgrounds;
};

ArtworkCatalogue::ArtworkCatalogue() : artists (std::make_unique<Artists>())
{
    auto* bg = &artists->backgrounds;
    using State = ButtonArtist::State;
    using Finish = ButtonArtist::Finish;

    auto buttons = [this] (const juce::String& stem, int width, const juce::String& text, Finish finish)
    {
        list.push_back ({ stem + "Over", width, 56, [=] { return ButtonArtist::render (width, 56, text, State::over, finish); } });
        list.push_back ({ stem + "Normal", width, 56, [=] { return ButtonArtist::render (width, 56, text, State::normal, finish); } });
        list.push_back ({ stem + "Down", width, 56, [=] { return ButtonArtist::render (width, 56, text, State::down, finish); } });
    };

    list.push_back ({ "aboutBackground", 400, 311, [bg] { return bg->aboutBackground(); } });
    list.push_back ({ "firmwareBackground", 400, 311, [bg] { return bg->firmwareBackground(); } });
    buttons ("updateButton", 212, "Update Firmware", Finish::grey);
    list.push_back ({ "knobBackground", 400, 311, [bg] { return bg->knobBackground(); } });
    buttons ("continueButton", 204, "Continue Calibration", Finish::grey);
    list.push_back ({ "counterClockwiseArrowOff", 49, 104, [] { return IconArtist::curvedArrow (false, false); } });
    list.push_back ({ "counterClockwiseArrowOn", 49, 104, [] { return IconArtist::curvedArrow (false, true); } });
    list.push_back ({ "clockwiseArrowOff", 49, 104, [] { return IconArtist::curvedArrow (true, false); } });
    list.push_back ({ "clockwiseArrowOn", 49, 104, [] { return IconArtist::curvedArrow (true, true); } });
    list.push_back ({ "headOff", 120, 89, [] { return IconArtist::head (false); } });
    list.push_back ({ "headOn", 120, 89, [] { return IconArtist::head (true); } });
    buttons ("okButton", 115, "OK", Finish::grey);
    list.push_back ({ "preferencesBackground", 400, 500, [bg] { return bg->preferencesBackground(); } });
    buttons ("cancelButton", 115, "Cancel", Finish::grey);
    list.push_back ({ "ledGreen", 16, 16, [] { return IconArtist::led (juce::Colour (0xff2fe04a)); } });
    list.push_back ({ "ledOff", 16, 16, [] { return IconArtist::led (juce::Colours::transparentBlack); } });
    list.push_back ({ "ledRed", 16, 16, [] { return IconArtist::led (juce::Colour (0xffff2a22)); } });
    list.push_back ({ "ledYellow", 16, 16, [] { return IconArtist::led (juce::Colour (0xffffd21e)); } });
    buttons ("calibrateButton", 212, "Calibrate Tuning", Finish::grey);
    buttons ("stopButton", 212, "Stop Calibration", Finish::red);
    list.push_back ({ "mainBackground", 700, 500, [bg] { return bg->mainBackground(); } });
    list.push_back ({ "progressBackground", 408, 32, [] { return IconArtist::progressFrame(); } });
    list.push_back ({ "checkBackground", 700, 500, [bg] { return bg->checkBackground(); } });
    buttons ("stopCheckButton", 115, "Stop", Finish::red);
    buttons ("saveButton", 115, juce::String (juce::CharPointer_UTF8 ("Save\xe2\x80\xa6")), Finish::grey);
}

ArtworkCatalogue::~ArtworkCatalogue() = default;
