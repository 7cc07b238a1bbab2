#include "ComponentTree.h"
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

void deliverPendingMessages()
{
    juce::MessageManager::getInstance()->runDispatchLoopUntil (30);
}

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

    PreferencesComponent& open()
    {
        prefs = std::make_unique<PreferencesComponent> (audio, midi, engine);
        return *prefs;
    }

    juce::ComboBox* list (const char* name) const { return findChild<juce::ComboBox> (*prefs, name); }
    juce::Label* caption (const juce::String& name) const { return findChild<juce::Label> (*prefs, name); }

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
} // namespace

TEST_F (PreferencesComponentTest, LaysOutEightCaptionedListsButtonsAndMeter)
{
    openDriver();
    open();

    EXPECT_EQ (prefs->getWidth(), 400);
    EXPECT_EQ (prefs->getHeight(), 500);

    const std::pair<const char*, const char*> rows[] = {
        { midiInList, "MIDI IN" },           { midiOutList, "MIDI OUT" },  { driverList, "AUDIO DRIVER" },
        { inputList, "AUDIO INPUT" },        { rateList, "SAMPLE RATE" },  { sizeList, "BUFFER SIZE" },
        { channelList, "AUDIO INPUT CHNL" }, { algorithmList, "TUNING ALGORITHMS" },
    };
    for (int i = 0; i < 8; ++i)
    {
        auto* box = list (rows[i].first);
        ASSERT_NE (box, nullptr) << rows[i].first;
        EXPECT_TRUE (box->isVisible());
        EXPECT_EQ (box->getBounds(), juce::Rectangle<int> (190, 100 + 35 * i, 200, 25)) << rows[i].first;

        auto* label = caption (rows[i].second);
        ASSERT_NE (label, nullptr) << rows[i].second;
        EXPECT_TRUE (label->isVisible());
        EXPECT_EQ (label->getBounds(), juce::Rectangle<int> (10, 100 + 35 * i, 190, 25));
        EXPECT_EQ (label->findColour (juce::Label::textColourId), juce::Colours::white);
        EXPECT_FLOAT_EQ (label->getFont().getHeight(), 18.0f);
    }
    EXPECT_EQ (caption ("MIDI IN")->getText(), "MIDI IN");
    EXPECT_EQ (caption ("TUNING ALGORITHMS")->getText(), "Tuning Algorithms");

    auto* ok = findChild<juce::Button> (*prefs, "Apply Button");
    auto* cancel = findChild<juce::Button> (*prefs, "Cancel Button");
    ASSERT_NE (ok, nullptr);
    ASSERT_NE (cancel, nullptr);
    EXPECT_EQ (ok->getBounds(), juce::Rectangle<int> (280, 440, 115, 56));
    EXPECT_EQ (cancel->getBounds(), juce::Rectangle<int> (5, 440, 115, 56));

    AudioLevelMeter* meter = nullptr;
    for (auto* child : prefs->getChildren())
        if (auto* m = dynamic_cast<AudioLevelMeter*> (child))
            meter = m;
    ASSERT_NE (meter, nullptr);
    EXPECT_EQ (meter->getBounds(), juce::Rectangle<int> (100, 460, 100, 25));
    // Drawn above the Cancel button it overlaps.
    EXPECT_GT (prefs->getIndexOfChildComponent (meter), prefs->getIndexOfChildComponent (cancel));
}

TEST_F (PreferencesComponentTest, ListsShowTheDevicesAndSelectWhatIsInUse)
{
    openDriver ({ { "Left", "Right" }, { 44100.0, 48000.0, 96000.0 }, { 512, 1024 }, 512 });
    midi->openInputDevice ("Kestrune Jack 1");
    midi->openOutputDevice ("Synth");
    open();

    EXPECT_EQ (itemTexts (*list (midiInList)), (juce::StringArray { "Kestrune Jack 1", "Keyboard" }));
    EXPECT_EQ (list (midiInList)->getText(), "Kestrune Jack 1");
    EXPECT_EQ (itemTexts (*list (midiOutList)), (juce::StringArray { "Kestrune Jack 1", "Synth" }));
    EXPECT_EQ (list (midiOutList)->getText(), "Synth");

    EXPECT_EQ (itemTexts (*list (driverList)), (juce::StringArray { "Fake Driver" }));
    EXPECT_EQ (list (driverList)->getText(), "Fake Driver");
    EXPECT_EQ (itemTexts (*list (inputList)), (juce::StringArray { "Interface A", "Interface B" }));
    EXPECT_EQ (list (inputList)->getText(), "Interface A");

    EXPECT_EQ (itemTexts (*list (rateList)), (juce::StringArray { "44100", "48000", "96000" }));
    EXPECT_EQ (itemIds (*list (rateList)), (juce::Array<int> { 44100, 48000, 96000 }));
    EXPECT_EQ (list (rateList)->getSelectedId(), juce::roundToInt (audio.getCurrentAudioDevice()->getCurrentSampleRate()));

    EXPECT_EQ (itemTexts (*list (channelList)), (juce::StringArray { "Left", "Right" }));
    EXPECT_EQ (list (channelList)->getText(), "Left");

    EXPECT_EQ (itemTexts (*list (algorithmList)), (juce::StringArray { "Sweep Tune", "Fine Tune" }));
    EXPECT_EQ (list (algorithmList)->getText(), "Sweep Tune");
}

TEST_F (PreferencesComponentTest, OnlyPowerOfTwoBufferSizesFrom512AreOffered)
{
    openDriver ({ { "In 1" }, { 48000.0 }, { 64, 128, 256, 500, 512, 1024, 2048 }, 512 });
    open();

    EXPECT_EQ (itemTexts (*list (sizeList)), (juce::StringArray { "512", "1024", "2048" }));
    EXPECT_EQ (itemIds (*list (sizeList)), (juce::Array<int> { 512, 1024, 2048 }));
    EXPECT_EQ (list (sizeList)->getSelectedId(), 512);

    choose (sizeList, 2048);
    EXPECT_EQ (audio.getAudioDeviceSetup().bufferSize, 2048);
    EXPECT_EQ (audio.getCurrentAudioDevice()->getCurrentBufferSizeSamples(), 2048);
}

TEST_F (PreferencesComponentTest, ChoosingTheSecondOfThreeChannelsUsesThatChannelAlone)
{
    openDriver ({ { "In 1", "In 2", "In 3" }, { 48000.0 }, { 512 }, 512 });
    open();

    EXPECT_EQ (itemIds (*list (channelList)), (juce::Array<int> { 1, 2, 4 }));
    EXPECT_EQ (list (channelList)->getSelectedId(), 1);

    choose (channelList, 2);

    const auto setup = audio.getAudioDeviceSetup();
    EXPECT_EQ (setup.inputChannels.toInteger(), 2);
    EXPECT_FALSE (setup.useDefaultInputChannels);
    EXPECT_EQ (audio.getCurrentAudioDevice()->getActiveInputChannels().toInteger(), 2);
    EXPECT_EQ (engine->getAnalysedInputChannel(), 1);

    // Shown as the analysed channel whatever else is active; Cancel puts back
    // the channel analysed when the window opened.
    auto two = setup;
    two.inputChannels.setBit (0);
    audio.setAudioDeviceSetup (two, false);
    open();
    EXPECT_EQ (list (channelList)->getSelectedId(), 2);
    choose (channelList, 4);
    EXPECT_EQ (engine->getAnalysedInputChannel(), 2);
    press ("Cancel Button");
    EXPECT_EQ (engine->getAnalysedInputChannel(), 1);
}

TEST_F (PreferencesComponentTest, ChannelsBeyondTheThirtyFirstStaySelectable)
{
    juce::StringArray names;
    for (int i = 1; i <= 34; ++i)
        names.add ("In " + juce::String (i));
    openDriver ({ names, { 48000.0 }, { 512 }, 512 });
    open();

    auto ids = itemIds (*list (channelList));
    ASSERT_EQ (ids.size(), 34);
    EXPECT_EQ (ids[30], 1 << 30);
    for (int i = 0; i < ids.size(); ++i)
    {
        EXPECT_NE (ids[i], 0);
        EXPECT_EQ (PreferencesComponent::inputChannelIndexOfItemId (ids[i]), i);
        EXPECT_EQ (ids.indexOf (ids[i]), i) << "duplicate ID " << ids[i];
    }

    choose (channelList, ids[32]);
    const auto setup = audio.getAudioDeviceSetup();
    EXPECT_EQ (setup.inputChannels.countNumberOfSetBits(), 1);
    EXPECT_TRUE (setup.inputChannels[32]);
    EXPECT_FALSE (setup.useDefaultInputChannels);

    // The rebuilt list shows the channel in use.
    prefs->updateAudioDeviceLists();
    EXPECT_EQ (list (channelList)->getText(), "In 33");
}

TEST_F (PreferencesComponentTest, ChangingTheInputDeviceTakesEffectBeforeOk)
{
    openDriver();
    open();

    choose (inputList, 2);
    EXPECT_EQ (audio.getAudioDeviceSetup().inputDeviceName, "Interface B");
    EXPECT_EQ (audio.getCurrentAudioDevice()->getName(), "Interface B");
    EXPECT_EQ (list (inputList)->getText(), "Interface B");

    // Cancel puts the first device back.
    press ("Cancel Button");
    EXPECT_EQ (audio.getCurrentAudioDevice()->getName(), "Interface A");
}

TEST_F (PreferencesComponentTest, OkWithoutTouchingAnythingKeepsTheAlgorithm)
{
    engine->setTuningAlgorithm ("Fine Tune");
    open();
    deliverPendingMessages(); // the list's own selection notice
    press ("Apply Button");
    EXPECT_EQ (engine->getTuningAlgorithm(), "Fine Tune");
}

TEST_F (PreferencesComponentTest, TheAlgorithmChangesOnlyOnOk)
{
    open();
    deliverPendingMessages();
    choose (algorithmList, 2);
    EXPECT_EQ (engine->getTuningAlgorithm(), "Sweep Tune");
    press ("Apply Button");
    EXPECT_EQ (engine->getTuningAlgorithm(), "Fine Tune");
}

TEST_F (PreferencesComponentTest, FineTuneThenCancelKeepsTheFormerAlgorithm)
{
    open();
    deliverPendingMessages();
    choose (algorithmList, 2);
    press ("Cancel Button");
    EXPECT_EQ (engine->getTuningAlgorithm(), "Sweep Tune");
}

TEST_F (PreferencesComponentTest, FineTuneThenCloseButtonKeepsTheFormerAlgorithm)
{
    open();
    deliverPendingMessages();
    choose (algorithmList, 2);
    prefs = nullptr; // what the window's close button does to its content
    EXPECT_EQ (engine->getTuningAlgorithm(), "Sweep Tune");
}

TEST_F (PreferencesComponentTest, ChoosingMidiPortsReplacesTheOpenOnes)
{
    midi->openInputDevice ("Keyboard");
    open();

    choose (midiInList, 1);
    EXPECT_EQ (midi->getOpenInputDeviceNames(), (juce::StringArray { "Kestrune Jack 1" }));
    EXPECT_EQ (list (midiInList)->getText(), "Kestrune Jack 1");

    choose (midiOutList, 2);
    EXPECT_EQ (midi->getOpenOutputDeviceNames(), (juce::StringArray { "Synth" }));

    press ("Cancel Button");
    EXPECT_EQ (midi->getOpenInputDeviceNames(), (juce::StringArray { "Keyboard" }));
    EXPECT_TRUE (midi->getOpenOutputDeviceNames().isEmpty());
}

TEST_F (PreferencesComponentTest, TwoOpenMidiInputsShowNoSelectionAndCancelClosesBoth)
{
    midi->openInputDevice ("Kestrune Jack 1");
    midi->openInputDevice ("Keyboard");
    ASSERT_EQ (midi->getOpenInputDeviceNames().size(), 2);
    open();

    EXPECT_EQ (list (midiInList)->getSelectedId(), 0);
    EXPECT_TRUE (list (midiInList)->getText().isEmpty());

    press ("Cancel Button");
    EXPECT_TRUE (midi->getOpenInputDeviceNames().isEmpty());
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
        deliverPendingMessages();
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
    deliverPendingMessages();

    choose (driverList, 2);
    ASSERT_NE (audio.getCurrentAudioDevice(), nullptr);
    EXPECT_EQ (audio.getCurrentAudioDevice()->getName(), "Two");

    press ("Apply Button");
    ASSERT_NE (audio.getCurrentAudioDevice(), nullptr);
    EXPECT_EQ (audio.getCurrentAudioDeviceType(), "Second Driver");
    EXPECT_EQ (audio.getCurrentAudioDevice()->getName(), "Two");
}

TEST_F (PreferencesComponentTest, ListsOfADeviceOpenedLaterAreLaidOutWhenTheyAppear)
{
    // A driver with a device, but nothing opened at start.
    audio.startWithoutDriver();
    audio.addAudioDeviceType (std::make_unique<FakeInputDeviceType> ("Fake Driver", juce::StringArray { "Interface A" }));
    open();
    EXPECT_EQ (list (rateList), nullptr);
    EXPECT_EQ (list (algorithmList)->getBounds(), juce::Rectangle<int> (190, 345, 200, 25));

    choose (inputList, 1);
    ASSERT_NE (audio.getCurrentAudioDevice(), nullptr);

    const std::pair<const char*, const char*> late[] = { { rateList, "SAMPLE RATE" },
                                                         { sizeList, "BUFFER SIZE" },
                                                         { channelList, "AUDIO INPUT CHNL" } };
    for (int i = 0; i < 3; ++i)
    {
        auto* box = list (late[i].first);
        ASSERT_NE (box, nullptr) << late[i].first;
        EXPECT_TRUE (box->isVisible());
        EXPECT_EQ (box->getBounds(), juce::Rectangle<int> (190, 240 + 35 * i, 200, 25));
        ASSERT_NE (caption (late[i].second), nullptr);
        EXPECT_TRUE (caption (late[i].second)->isVisible());
        EXPECT_GT (box->getNumItems(), 0);
    }
    EXPECT_EQ (list (algorithmList)->getBounds().getY(), 345);

    // They react like the others.
    choose (channelList, 2);
    EXPECT_EQ (audio.getAudioDeviceSetup().inputChannels.toInteger(), 2);
}

TEST_F (PreferencesComponentTest, WithoutAnyAudioDriverTheWindowStillWorksForMidiAndTheAlgorithm)
{
    open(); // the test device manager has no driver types at all
    EXPECT_EQ (list (driverList)->getNumItems(), 0);
    EXPECT_EQ (list (inputList)->getNumItems(), 0);
    EXPECT_EQ (list (rateList), nullptr);

    choose (midiOutList, 1);
    EXPECT_EQ (midi->getOpenOutputDeviceNames(), (juce::StringArray { "Kestrune Jack 1" }));

    deliverPendingMessages();
    choose (algorithmList, 2);
    press ("Apply Button");
    EXPECT_EQ (engine->getTuningAlgorithm(), "Fine Tune");
    EXPECT_EQ (audio.getCurrentAudioDevice(), nullptr);
}
