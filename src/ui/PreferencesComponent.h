#pragma once

#include "look/ComboBoxMenuItemLookAndFeel.h"
#include "look/CustomLook.h"
#include "midi/MidiManager.h"
#include "tuning/TuneKestruneEngine.h"
#include "ui/AudioLevelMeter.h"

#include <juce_audio_devices/juce_audio_devices.h>
#include <juce_gui_basics/juce_gui_basics.h>

#include <memory>

// Content of the Preferences window: MIDI ports, audio driver, input device,
// sample rate, buffer size, input channel and tuning algorithm, with an input
// level meter. Device and port choices apply at once, so that the meter
// follows them; the algorithm applies on OK. Cancel puts back what was in
// force when the window opened.
class PreferencesComponent : public juce::Component,
                             public juce::Button::Listener,
                             public juce::ComboBox::Listener
{
public:
    PreferencesComponent (juce::AudioDeviceManager& audioDeviceManager, MidiManager::Ptr midiManager,
                          TuneKestruneEngine::Ptr engine);
    ~PreferencesComponent() override;

    void updateMidiDeviceLists();
    void updateAudioDeviceLists();
    void updateTuningAlgorithmList();

    void resized() override;
    void buttonClicked (juce::Button* button) override;
    void comboBoxChanged (juce::ComboBox* list) override;

    // Item IDs of the input channel list: 2^i for the first 31 channels (so
    // that an ID reads as the channel's bit mask), then -1, -2, ... for the
    // channels from index 31 on, which no positive int can hold as a bit.
    static int inputChannelItemId (int channelIndex);
    static int inputChannelIndexOfItemId (int itemId);

private:
    juce::ComboBox& getOrCreateList (std::unique_ptr<juce::ComboBox>& list, const char* componentName,
                                     const char* labelName, const char* labelText);
    // Fixed row of each list, whatever order the lists were created in.
    int rowOf (const juce::ComboBox* list) const;
    void layOutNewLists();
    void analyseFirstOpenedChannel();
    void closeWindow();

    static void fillList (juce::ComboBox& list, const juce::StringArray& names);
    static void selectText (juce::ComboBox& list, const juce::String& text);

    // Declared first: they outlive every child that draws with them.
    ComboBoxMenuItemLookAndFeel comboLook;
    CustomLook customLook;

    juce::AudioDeviceManager* audioDeviceManager;
    MidiManager::Ptr midiManager;
    TuneKestruneEngine::Ptr tuneEngine;

    std::unique_ptr<juce::ImageComponent> background;
    std::unique_ptr<juce::ImageButton> okButton;
    std::unique_ptr<juce::ImageButton> cancelButton;
    std::unique_ptr<AudioLevelMeter> levelMeter;

    std::unique_ptr<juce::ComboBox> midiInputBox;
    std::unique_ptr<juce::ComboBox> midiOutputBox;
    std::unique_ptr<juce::ComboBox> audioDriverBox;
    std::unique_ptr<juce::ComboBox> audioInputBox;
    std::unique_ptr<juce::ComboBox> sampleRateBox;
    std::unique_ptr<juce::ComboBox> bufferSizeBox;
    std::unique_ptr<juce::ComboBox> inputChannelBox;
    std::unique_ptr<juce::ComboBox> tuningAlgorithmBox;

    // Parallel, in order of creation.
    juce::Array<juce::ComboBox*> comboBoxes;
    juce::OwnedArray<juce::Label> labels;
    bool listsAwaitingLayout = false;

    juce::String initialDeviceType;
    juce::AudioDeviceManager::AudioDeviceSetup initialSetup;
    juce::String initialMidiInput;
    juce::String initialMidiOutput;
    juce::String initialTuningAlgorithm;
    int initialAnalysedChannel = 0;

    juce::AudioDeviceManager::AudioDeviceSetup pendingSetup;
    juce::String pendingTuningAlgorithm;

    // Refreshed on every rebuild of the audio lists; only read right then.
    juce::AudioIODevice* currentDevice = nullptr;

    JUCE_DECLARE_NON_COPYABLE (PreferencesComponent)
};
