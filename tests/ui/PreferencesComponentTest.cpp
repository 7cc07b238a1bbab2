#include "ComponentTree.h"
#include "UiTestRig.h"
#include "TestAudioDeviceManager.h"
#include "support/FakeMidiPortSystem.h"
#include "tuning/TuneKestruneEngine.h"
#include "ui/PreferencesComponent.h"

#include <gtest/gtest.h>

namespace
{
const char* const midiInList = "Midi Input Combo Box";
const char* const midiOutList = "Midi Output Combo Box";
const char* const driverList = "Audio Driver Combo Box";
const char* const inputList = "Audio Input Device Combo Box";
const char* const rateList = "Audio Sample Rate Combo Box";
const char* const sizeList = "Audio Buffer Size Combo Box";
const char* const channelList = "Audio Input Channels Combo Box";
const char* const algorithmList = "Tuning Algorithms";

class PreferencesComponentTest : public ::testing::Test
{
protected:
    PreferencesComponentTest()
    {
        ports->plugInput ("Kestrune Jack 1");
        ports->plugInput ("Keyboard");
        ports->plugOutput ("Kestrune Jack 1");
        ports->plugOutput ("Synth");
        midi = new MidiManager (ports);
        engine = new TuneKestruneEngine (audio, midi);
    }

    ~PreferencesComponentTest() override
    {
        prefs = nullptr;
        engine = nullptr;
        midi = nullptr;
    }

    FakeInputDeviceType& openDriver (FakeInputDevice::Capabilities caps = {},
                                     juce::StringArray devices = { "Interface A", "Interface B" })
    {
        return audio.addTypeAndOpen (std::make_unique<FakeInputDeviceType> ("Fake Driver", devices, caps));
    }

    void open() { prefs = std::make_unique<PreferencesComponent> (audio, midi, engine); }

    juce::ComboBox* list (const char* name) const { return findChild<juce::ComboBox> (*prefs, name); }

    // What a user's choice in the pop-up does, with the notification delivered at once.
    void choose (const char* name, int itemId)
    {
        auto* box = list (name);
        ASSERT_NE (box, nullptr) << name;
        box->setSelectedId (itemId, juce::sendNotificationSync);
    }

    void press (const char* buttonName)
    {
        auto* button = findChild<juce::Button> (*prefs, buttonName);
        ASSERT_NE (button, nullptr) << buttonName;
        prefs->buttonClicked (button);
    }

    std::shared_ptr<FakeMidiPortSystem> ports = std::make_shared<FakeMidiPortSystem>();
    MidiManager::Ptr midi;
    TestAudioDeviceManager audio;
    TuneKestruneEngine::Ptr engine;
    std::unique_ptr<PreferencesComponent> prefs;
};

// The visible lists lie inside the window and clear of each other.
void expectLaidOut (const PreferencesComponent& prefs)
{
    juce::Array<juce::Rectangle<int>> taken;
    for (auto* child : prefs.getChildren())
        if (child->isVisible() && dynamic_cast<juce::ComboBox*> (child) != nullptr)
        {
            SCOPED_TRACE (child->getName());
            EXPECT_TRUE (prefs.getLocalBounds().contains (child->getBounds()));
            for (auto& other : taken)
                EXPECT_FALSE (other.intersects (child->getBounds()));
            taken.add (child->getBounds());
        }
}
} // namespace

TEST_F (PreferencesComponentTest, ListsShowTheDevicesAndSelectWhatIsInUse)
{
    openDriver ({ { "Left", "Right" }, { 44100.0, 48000.0, 96000.0 }, { 64, 128, 500, 512, 1024, 2048 }, 512 });
    midi->openInputDevice ("Kestrune Jack 1");
    midi->openOutputDevice ("Synth");
    open();
    expectLaidOut (*prefs);
    for (auto* name : { midiInList, midiOutList, driverList, inputList, rateList, sizeList, channelList, algorithmList })
        ASSERT_TRUE (list (name) != nullptr && list (name)->isVisible()) << name;

    EXPECT_EQ (itemTexts (*list (midiInList)), (juce::StringArray { "Kestrune Jack 1", "Keyboard" }));
    EXPECT_EQ (list (midiInList)->getText(), "Kestrune Jack 1");
    EXPECT_EQ (itemTexts (*list (midiOutList)), (juce::StringArray { "Kestrune Jack 1", "Synth" }));
    EXPECT_EQ (list (midiOutList)->getText(), "Synth");
    EXPECT_EQ (list (driverList)->getText(), "Fake Driver");
    EXPECT_EQ (itemTexts (*list (inputList)), (juce::StringArray { "Interface A", "Interface B" }));
    EXPECT_EQ (list (inputList)->getText(), "Interface A");
    EXPECT_EQ (itemIds (*list (rateList)), (juce::Array<int> { 44100, 48000, 96000 }));
    EXPECT_EQ (list (rateList)->getSelectedId(), juce::roundToInt (audio.getCurrentAudioDevice()->getCurrentSampleRate()));
    // Only powers of two from 512.
    EXPECT_EQ (itemIds (*list (sizeList)), (juce::Array<int> { 512, 1024, 2048 }));
    EXPECT_EQ (list (sizeList)->getSelectedId(), 512);
    EXPECT_EQ (itemTexts (*list (channelList)), (juce::StringArray { "Left", "Right" }));
    EXPECT_EQ (list (channelList)->getText(), "Left");
    EXPECT_EQ (itemTexts (*list (algorithmList)), (juce::StringArray { "Sweep Tune", "Fine Tune" }));
    EXPECT_EQ (list (algorithmList)->getText(), "Sweep Tune");

    // The level meter is drawn above the Cancel button it overlaps.
    AudioLevelMeter* meter = nullptr;
    for (auto* child : prefs->getChildren())
        if (auto* m = dynamic_cast<AudioLevelMeter*> (child))
            meter = m;
    ASSERT_NE (meter, nullptr);
    EXPECT_GT (prefs->getIndexOfChildComponent (meter),
               prefs->getIndexOfChildComponent (findChild<juce::Button> (*prefs, "Cancel Button")));

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

    // Channels beyond the 31st stay selectable: distinct, non-zero IDs.
    auto ids = itemIds (*list (channelList));
    ASSERT_EQ (ids.size(), 34);
    for (int i = 0; i < ids.size(); ++i)
    {
        EXPECT_NE (ids[i], 0);
        EXPECT_EQ (PreferencesComponent::inputChannelIndexOfItemId (ids[i]), i);
        EXPECT_EQ (ids.indexOf (ids[i]), i) << "duplicate ID " << ids[i];
    }
    for (int channel : { 1, 32 })
    {
        SCOPED_TRACE (channel);
        choose (channelList, ids[channel]);
        const auto setup = audio.getAudioDeviceSetup();
        EXPECT_EQ (setup.inputChannels.countNumberOfSetBits(), 1);
        EXPECT_TRUE (setup.inputChannels[channel]);
        EXPECT_FALSE (setup.useDefaultInputChannels);
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
    choose (channelList, ids[2]);
    EXPECT_EQ (engine->getAnalysedInputChannel(), 2);
    press ("Cancel Button");
    EXPECT_EQ (engine->getAnalysedInputChannel(), 32);
}

TEST_F (PreferencesComponentTest, DevicesAndPortsTakeEffectAtOnceAndCancelPutsThemBack)
{
    openDriver();
    midi->openInputDevice ("Keyboard");
    open();

    choose (inputList, 2);
    EXPECT_EQ (audio.getCurrentAudioDevice()->getName(), "Interface B");
    EXPECT_EQ (list (inputList)->getText(), "Interface B");
    choose (midiInList, 1);
    EXPECT_EQ (midi->getOpenInputDeviceNames(), (juce::StringArray { "Kestrune Jack 1" }));
    choose (midiOutList, 2);
    EXPECT_EQ (midi->getOpenOutputDeviceNames(), (juce::StringArray { "Synth" }));

    press ("Cancel Button");
    EXPECT_EQ (audio.getCurrentAudioDevice()->getName(), "Interface A");
    EXPECT_EQ (midi->getOpenInputDeviceNames(), (juce::StringArray { "Keyboard" }));
    EXPECT_TRUE (midi->getOpenOutputDeviceNames().isEmpty());

    // Two open inputs: no selection shown, and Cancel closes both.
    midi->openInputDevice ("Kestrune Jack 1");
    ASSERT_EQ (midi->getOpenInputDeviceNames().size(), 2);
    open();
    EXPECT_EQ (list (midiInList)->getSelectedId(), 0);
    press ("Cancel Button");
    EXPECT_TRUE (midi->getOpenInputDeviceNames().isEmpty());
}

TEST_F (PreferencesComponentTest, TheAlgorithmChangesOnlyOnOk)
{
    enum class Close { ok, cancel, closeButton };
    const struct
    {
        const char* before;
        bool chooseFine;
        Close close;
        const char* after;
    } cases[] = {
        { "Fine Tune", false, Close::ok, "Fine Tune" },
        { "Sweep Tune", true, Close::ok, "Fine Tune" },
        { "Sweep Tune", true, Close::cancel, "Sweep Tune" },
        { "Sweep Tune", true, Close::closeButton, "Sweep Tune" },
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.after + juce::String ((int) c.close));
        engine->setTuningAlgorithm (c.before);
        open();
        UiTestRig::deliverPendingMessages(); // the list's own selection notice
        if (c.chooseFine)
        {
            choose (algorithmList, 2);
            EXPECT_EQ (engine->getTuningAlgorithm(), c.before);
        }
        if (c.close == Close::closeButton)
            prefs = nullptr; // what the window's close button does to its content
        else
            press (c.close == Close::ok ? "Apply Button" : "Cancel Button");
        EXPECT_EQ (engine->getTuningAlgorithm(), c.after);
    }
}

TEST_F (PreferencesComponentTest, OkAndCancelCloseTheWindowAfterTheClick)
{
    for (auto* button : { "Apply Button", "Cancel Button" })
    {
        open();
        auto* window = new juce::Component();
        window->addAndMakeVisible (*prefs);
        juce::Component::SafePointer<juce::Component> watch (window);
        press (button);
        EXPECT_NE (watch.getComponent(), nullptr) << "deleted inside the click: " << button;
        UiTestRig::deliverPendingMessages();
        EXPECT_EQ (watch.getComponent(), nullptr) << button;
        prefs = nullptr;
    }
}

TEST_F (PreferencesComponentTest, OkAfterAChangeOfDriverKeepsTheNewDriversDevice)
{
    audio.startWithoutDriver();
    audio.addAudioDeviceType (std::make_unique<FakeInputDeviceType> ("First Driver", juce::StringArray { "One" }));
    audio.addAudioDeviceType (std::make_unique<FakeInputDeviceType> ("Second Driver", juce::StringArray { "Two" }));
    open();
    UiTestRig::deliverPendingMessages();
    choose (driverList, 2);
    press ("Apply Button");
    ASSERT_NE (audio.getCurrentAudioDevice(), nullptr);
    EXPECT_EQ (audio.getCurrentAudioDeviceType(), "Second Driver");
    EXPECT_EQ (audio.getCurrentAudioDevice()->getName(), "Two");
}

TEST_F (PreferencesComponentTest, ListsOfADeviceOpenedLaterAppearLaidOutAndWork)
{
    audio.startWithoutDriver(); // a driver with a device, but nothing open at start
    audio.addAudioDeviceType (std::make_unique<FakeInputDeviceType> ("Fake Driver", juce::StringArray { "Interface A" }));
    open();
    EXPECT_EQ (list (rateList), nullptr);

    choose (inputList, 1);
    ASSERT_NE (audio.getCurrentAudioDevice(), nullptr);
    expectLaidOut (*prefs);
    for (auto* name : { rateList, sizeList, channelList })
    {
        ASSERT_NE (list (name), nullptr) << name;
        EXPECT_TRUE (list (name)->isVisible() && list (name)->getNumItems() > 0) << name;
    }
    choose (channelList, 2);
    EXPECT_EQ (audio.getAudioDeviceSetup().inputChannels.toInteger(), 2);
}

TEST_F (PreferencesComponentTest, WithoutAnyAudioDriverTheWindowStillWorksForMidiAndTheAlgorithm)
{
    open(); // the test device manager has no driver types at all
    EXPECT_EQ (list (inputList)->getNumItems(), 0);
    choose (midiOutList, 1);
    EXPECT_EQ (midi->getOpenOutputDeviceNames(), (juce::StringArray { "Kestrune Jack 1" }));
    UiTestRig::deliverPendingMessages();
    choose (algorithmList, 2);
    press ("Apply Button");
    EXPECT_EQ (engine->getTuningAlgorithm(), "Fine Tune");
}
