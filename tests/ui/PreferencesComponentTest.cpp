#include "support/ComponentTree.h"
#include "support/TestAudioDeviceManager.h"
#include "support/UiTestRig.h"
#include "support/WindowDeletion.h"
#include "ui/PreferencesComponent.h"

#include <gtest/gtest.h>

namespace
{
const char *const midiInList = "Midi Input Combo Box", *const midiOutList = "Midi Output Combo Box",
           *const driverList = "Audio Driver Combo Box", *const inputList = "Audio Input Device Combo Box",
           *const rateList = "Audio Sample Rate Combo Box", *const sizeList = "Audio Buffer Size Combo Box",
           *const channelList = "Audio Input Channels Combo Box", *const algorithmList = "Tuning Algorithms";

class PreferencesComponentTest : public ::testing::Test
{
protected:
    PreferencesComponentTest()
    {
        ports->plugInput ("Kestrune Jack 1"), ports->plugInput ("Keyboard");
        ports->plugOutput ("Kestrune Jack 1"), ports->plugOutput ("Synth");
    }

    void openDriver (FakeInputDevice::Capabilities caps = {})
    {
        audio.addTypeAndOpen (std::make_unique<FakeInputDeviceType> ("Fake Driver", juce::StringArray { "Interface A", "Interface B" }, caps));
    }
    void open() { prefs = std::make_unique<PreferencesComponent> (audio, midi, engine); }
    juce::ComboBox* list (const char* name) const { return findChild<juce::ComboBox> (*prefs, name); }

    // "text=id" of every item, then "> selected text".
    juce::String items (const char* name) const
    {
        juce::StringArray all;
        for (int i = 0; i < list (name)->getNumItems(); ++i)
            all.add (list (name)->getItemText (i) + "=" + juce::String (list (name)->getItemId (i)));
        return all.joinIntoString (",") + " > " + list (name)->getText();
    }

    // What a user's choice in the pop-up does, with the notification delivered at once.
    void choose (const char* name, int itemId) { list (name)->setSelectedId (itemId, juce::sendNotificationSync); }
    void press (const char* buttonName) { prefs->buttonClicked (findChild<juce::Button> (*prefs, buttonName)); }

    std::shared_ptr<FakeMidiPortSystem> ports = std::make_shared<FakeMidiPortSystem>();
    MidiManager::Ptr midi = new MidiManager (ports);
    TestAudioDeviceManager audio;
    TuneKestruneEngine::Ptr engine = new TuneKestruneEngine (audio, midi);
    std::unique_ptr<PreferencesComponent> prefs;
};
} // namespace

TEST_F (PreferencesComponentTest, ListsShowTheDevicesAndSelectWhatIsInUse)
{
    openDriver ({ { "Left", "Right" }, { 44100.0, 48000.0, 96000.0 }, { 64, 128, 500, 512, 1024, 2048 }, 512 });
    midi->openInputDevice ("Kestrune Jack 1");
    midi->openOutputDevice ("Synth");
    open();
    // The visible lists lie inside the window and clear of each other.
    juce::Array<juce::Rectangle<int>> taken;
    for (auto* child : prefs->getChildren())
        if (child->isVisible() && dynamic_cast<juce::ComboBox*> (child) != nullptr)
        {
            EXPECT_TRUE (prefs->getLocalBounds().contains (child->getBounds())) << child->getName();
            for (auto& other : taken)
                EXPECT_FALSE (other.intersects (child->getBounds())) << child->getName();
            taken.add (child->getBounds());
        }

    const auto rate = juce::String (juce::roundToInt (audio.getCurrentAudioDevice()->getCurrentSampleRate()));
    const std::pair<const char*, juce::String> expected[] = {
        { midiInList, "Kestrune Jack 1=1,Keyboard=2 > Kestrune Jack 1" },
        { midiOutList, "Kestrune Jack 1=1,Synth=2 > Synth" },
        { driverList, "Fake Driver=1 > Fake Driver" },
        { inputList, "Interface A=1,Interface B=2 > Interface A" },
        { rateList, "44100=44100,48000=48000,96000=96000 > " + rate },
        { sizeList, "512=512,1024=1024,2048=2048 > 512" }, // only powers of two from 512
        { channelList, "Left=1,Right=2 > Left" },
        { algorithmList, "Sweep Tune=1,Fine Tune=2,Precise Tune=3 > Sweep Tune" },
    };
    for (auto& [name, text] : expected)
    {
        ASSERT_TRUE (list (name) != nullptr && list (name)->isVisible()) << name;
        EXPECT_EQ (items (name), text);
    }

    choose (sizeList, 2048);
    EXPECT_EQ (audio.getCurrentAudioDevice()->getCurrentBufferSizeSamples(), 2048);
}

TEST_F (PreferencesComponentTest, ChoosingAChannelUsesItAloneAndCancelPutsTheAnalysedOneBack)
{
    juce::StringArray names;
    for (int i = 1; i <= 34; ++i)
        names.add ("In " + juce::String (i));
    openDriver ({ names, { 48000.0 }, { 512 }, 512 });
    open();

    // Channels beyond the 31st stay selectable.
    auto id = [this] (int channel) { return list (channelList)->getItemId (channel); };
    for (int channel : { 1, 32 })
    {
        SCOPED_TRACE (channel);
        choose (channelList, id (channel));
        const auto setup = audio.getAudioDeviceSetup();
        EXPECT_EQ (setup.inputChannels.countNumberOfSetBits(), 1);
        EXPECT_TRUE (setup.inputChannels[channel] && ! setup.useDefaultInputChannels);
        EXPECT_TRUE (audio.getCurrentAudioDevice()->getActiveInputChannels()[channel]);
        EXPECT_EQ (engine->getAnalysedInputChannel(), channel);
        prefs->updateAudioDeviceLists();
        EXPECT_EQ (list (channelList)->getText(), names[channel]);
    }

    // Shown as the analysed channel whatever else is active; Cancel puts back
    // the channel analysed when the window opened.
    auto two = audio.getAudioDeviceSetup();
    two.inputChannels.setBit (0);
    audio.setAudioDeviceSetup (two, false);
    open();
    EXPECT_EQ (list (channelList)->getText(), "In 33");
    choose (channelList, id (2));
    EXPECT_EQ (engine->getAnalysedInputChannel(), 2);
    press ("Cancel Button");
    EXPECT_EQ (engine->getAnalysedInputChannel(), 32);
}

TEST_F (PreferencesComponentTest, PortsTakeEffectAtOnceAndCancelPutsThemBack)
{
    midi->openInputDevice ("Keyboard");
    open();
    choose (midiInList, 1);
    EXPECT_EQ (midi->getOpenInputDeviceNames(), juce::StringArray ("Kestrune Jack 1"));
    choose (midiOutList, 2);
    EXPECT_EQ (midi->getOpenOutputDeviceNames(), juce::StringArray ("Synth"));

    press ("Cancel Button");
    EXPECT_EQ (midi->getOpenInputDeviceNames(), juce::StringArray ("Keyboard"));
    EXPECT_TRUE (midi->getOpenOutputDeviceNames().isEmpty());

    // Two open inputs: no selection shown, and Cancel closes both.
    midi->openInputDevice ("Kestrune Jack 1");
    open();
    EXPECT_EQ (list (midiInList)->getSelectedId(), 0);
    press ("Cancel Button");
    EXPECT_TRUE (midi->getOpenInputDeviceNames().isEmpty());
}

TEST_F (PreferencesComponentTest, TheAlgorithmChangesOnlyOnOkAndTheWindowClosesAfterTheClick)
{
    // { before, Fine Tune chosen, closed with, after }; the window's close
    // button deletes the content.
    const std::tuple<const char*, bool, const char*, const char*> cases[] = {
        { "Fine Tune", false, "Apply Button", "Fine Tune" }, { "Sweep Tune", true, "Apply Button", "Fine Tune" },
        { "Sweep Tune", true, "Cancel Button", "Sweep Tune" }, { "Sweep Tune", true, nullptr, "Sweep Tune" }
    };
    for (auto [before, chooseFine, closeWith, after] : cases)
    {
        SCOPED_TRACE (juce::String (before) + " " + (closeWith != nullptr ? closeWith : "close"));
        engine->setTuningAlgorithm (before);
        open();
        juce::Component::SafePointer<juce::Component> window (new juce::Component());
        window->addAndMakeVisible (*prefs);
        UiTestRig::deliverPendingMessages(); // the list's own selection notice
        if (chooseFine)
            choose (algorithmList, 2);
        EXPECT_EQ (engine->getTuningAlgorithm(), before);
        if (closeWith != nullptr)
        {
            press (closeWith);
            EXPECT_TRUE (deletedOnlyAfterTheEvent (window));
        }
        delete window.getComponent();
        prefs = nullptr;
        EXPECT_EQ (engine->getTuningAlgorithm(), after);
    }
}

