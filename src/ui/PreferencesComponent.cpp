#include "PreferencesComponent.h"

#include "EmbeddedData.h"
#include "core/DeferredWindowDeletion.h"

#include <iterator>

namespace
{
constexpr int firstRowY = 100;
constexpr int rowHeight = 25;
constexpr int rowPitch = 35;
constexpr int listX = 190;
constexpr int listWidth = 200;
constexpr int captionX = 10;
constexpr int captionWidth = 190;
constexpr int minimumBufferSize = 512;
constexpr int lastBitChannel = 30; // 2^30 is the largest power of two an int holds

juce::Image embeddedImage (const char* data, int size)
{
    return juce::ImageCache::getFromMemory (data, size);
}

std::unique_ptr<juce::ImageButton> makeImageButton (const juce::String& name, const juce::Image& normal,
                                                    const juce::Image& over, const juce::Image& down)
{
    auto button = std::make_unique<juce::ImageButton> (name);
    button->setImages (true, true, true, normal, 1.0f, juce::Colours::transparentBlack, over, 1.0f,
                       juce::Colours::transparentBlack, down, 1.0f, juce::Colours::transparentBlack, 0.0f);
    return button;
}

juce::String singleName (const juce::StringArray& names)
{
    return names.size() == 1 ? names[0] : juce::String();
}
} // namespace

//==============================================================================
PreferencesComponent::PreferencesComponent (juce::AudioDeviceManager& manager, MidiManager::Ptr midi,
                                            TuneKestruneEngine::Ptr engine)
    : audioDeviceManager (&manager), midiManager (std::move (midi)), tuneEngine (std::move (engine))
{
    setLookAndFeel (&customLook);

    const auto backgroundImage =
        embeddedImage (EmbeddedData::preferencesBackground, EmbeddedData::preferencesBackgroundSize);
    background = std::make_unique<juce::ImageComponent>();
    background->setImage (backgroundImage);
    background->setBounds (0, 0, backgroundImage.getWidth(), backgroundImage.getHeight());
    addAndMakeVisible (*background);

    okButton = makeImageButton ("Apply Button", embeddedImage (EmbeddedData::okButtonNormal, EmbeddedData::okButtonNormalSize),
                                embeddedImage (EmbeddedData::okButtonOver, EmbeddedData::okButtonOverSize),
                                embeddedImage (EmbeddedData::okButtonDown, EmbeddedData::okButtonDownSize));
    addAndMakeVisible (*okButton);
    okButton->addListener (this);

    cancelButton = makeImageButton (
        "Cancel Button", embeddedImage (EmbeddedData::cancelButtonNormal, EmbeddedData::cancelButtonNormalSize),
        embeddedImage (EmbeddedData::cancelButtonOver, EmbeddedData::cancelButtonOverSize),
        embeddedImage (EmbeddedData::cancelButtonDown, EmbeddedData::cancelButtonDownSize));
    addAndMakeVisible (*cancelButton);
    cancelButton->addListener (this);

    levelMeter = std::make_unique<AudioLevelMeter> (audioDeviceManager);
    addAndMakeVisible (*levelMeter);

    initialDeviceType = audioDeviceManager->getCurrentAudioDeviceType();
    initialSetup = audioDeviceManager->getAudioDeviceSetup();
    pendingSetup = initialSetup;
    initialAnalysedChannel = tuneEngine->getAnalysedInputChannel();
    initialMidiInput = singleName (midiManager->getOpenInputDeviceNames());
    initialMidiOutput = singleName (midiManager->getOpenOutputDeviceNames());

    updateMidiDeviceLists();
    updateAudioDeviceLists();
    updateTuningAlgorithmList();

    setSize (backgroundImage.getWidth(), backgroundImage.getHeight());
}

PreferencesComponent::~PreferencesComponent()
{
    for (auto* list : comboBoxes)
    {
        list->removeListener (this);
        list->setLookAndFeel (nullptr);
    }
    okButton->removeListener (this);
    cancelButton->removeListener (this);
    setLookAndFeel (nullptr);
}

//==============================================================================
int PreferencesComponent::inputChannelItemId (int channelIndex)
{
    jassert (channelIndex >= 0);
    return channelIndex <= lastBitChannel ? 1 << channelIndex : lastBitChannel - channelIndex;
}

int PreferencesComponent::inputChannelIndexOfItemId (int itemId)
{
    if (itemId > 0)
        return juce::isPowerOfTwo (itemId) ? juce::findHighestSetBit ((juce::uint32) itemId) : -1;
    if (itemId < 0)
        return lastBitChannel - itemId;
    return -1;
}

void PreferencesComponent::fillList (juce::ComboBox& list, const juce::StringArray& names)
{
    list.clear (juce::dontSendNotification);
    list.addItemList (names, 1);
}

void PreferencesComponent::selectText (juce::ComboBox& list, const juce::String& text)
{
    for (int i = 0; i < list.getNumItems(); ++i)
    {
        if (list.getItemText (i) == text)
        {
            list.setSelectedItemIndex (i, juce::dontSendNotification);
            return;
        }
    }
}

juce::ComboBox& PreferencesComponent::getOrCreateList (std::unique_ptr<juce::ComboBox>& list,
                                                        const char* componentName, const char* labelName,
                                                        const char* labelText)
{
    if (list == nullptr)
    {
        list = std::make_unique<juce::ComboBox> (componentName);
        comboBoxes.add (list.get());
        labels.add (new juce::Label (labelName, labelText));
        listsAwaitingLayout = true;
    }
    return *list;
}

int PreferencesComponent::rowOf (const juce::ComboBox* list) const
{
    const juce::ComboBox* const rows[] = { midiInputBox.get(),  midiOutputBox.get(),   audioDriverBox.get(),
                                           audioInputBox.get(), sampleRateBox.get(),   bufferSizeBox.get(),
                                           inputChannelBox.get(), tuningAlgorithmBox.get() };
    for (int row = 0; row < (int) std::size (rows); ++row)
        if (rows[row] == list)
            return row;
    return comboBoxes.indexOf (const_cast<juce::ComboBox*> (list));
}

void PreferencesComponent::layOutNewLists()
{
    // Lists that appear after the first layout (a device opened later) get
    // their place at once; before it, the first setSize does this.
    if (listsAwaitingLayout && ! getLocalBounds().isEmpty())
        resized();
}

//==============================================================================
void PreferencesComponent::updateMidiDeviceLists()
{
    auto& inputs = getOrCreateList (midiInputBox, "Midi Input Combo Box", "MIDI IN", "MIDI IN");
    auto& outputs = getOrCreateList (midiOutputBox, "Midi Output Combo Box", "MIDI OUT", "MIDI OUT");

    // The manager's lists: the ports it can open by these names.
    fillList (inputs, midiManager->getAvailableInputDeviceNames());
    fillList (outputs, midiManager->getAvailableOutputDeviceNames());

    const auto openInput = singleName (midiManager->getOpenInputDeviceNames());
    if (openInput.isNotEmpty())
        selectText (inputs, openInput);
    const auto openOutput = singleName (midiManager->getOpenOutputDeviceNames());
    if (openOutput.isNotEmpty())
        selectText (outputs, openOutput);

    layOutNewLists();
}

void PreferencesComponent::updateAudioDeviceLists()
{
    for (auto* list : comboBoxes)
        list->removeListener (this);

    // Creates the driver types on first use; none at all is possible.
    const auto& types = audioDeviceManager->getAvailableDeviceTypes();
    auto* currentType = audioDeviceManager->getCurrentDeviceTypeObject();
    if (currentType != nullptr)
        currentType->scanForDevices();
    currentDevice = audioDeviceManager->getCurrentAudioDevice();

    auto& drivers = getOrCreateList (audioDriverBox, "Audio Driver Combo Box", "AUDIO DRIVER", "AUDIO DRIVER");
    juce::StringArray typeNames;
    for (auto* type : types)
        typeNames.add (type->getTypeName());
    fillList (drivers, typeNames);
    if (currentType != nullptr)
        selectText (drivers, currentType->getTypeName());

    auto& inputs = getOrCreateList (audioInputBox, "Audio Input Device Combo Box", "AUDIO INPUT", "AUDIO INPUT");
    fillList (inputs, currentType != nullptr ? currentType->getDeviceNames (true) : juce::StringArray());
    selectText (inputs, audioDeviceManager->getAudioDeviceSetup().inputDeviceName);

    if (currentDevice != nullptr)
    {
        auto& rates =
            getOrCreateList (sampleRateBox, "Audio Sample Rate Combo Box", "SAMPLE RATE", "SAMPLE RATE");
        rates.clear (juce::dontSendNotification);
        for (auto rate : currentDevice->getAvailableSampleRates())
        {
            const int id = juce::roundToInt (rate);
            // Two rates that round alike would share an ID; keep the first.
            if (id != 0 && rates.indexOfItemId (id) < 0)
                rates.addItem (juce::String (rate), id);
        }
        rates.setSelectedId (juce::roundToInt (currentDevice->getCurrentSampleRate()), juce::dontSendNotification);

        auto& sizes =
            getOrCreateList (bufferSizeBox, "Audio Buffer Size Combo Box", "BUFFER SIZE", "BUFFER SIZE");
        sizes.clear (juce::dontSendNotification);
        for (auto size : currentDevice->getAvailableBufferSizes())
            if (size >= minimumBufferSize && juce::isPowerOfTwo (size) && sizes.indexOfItemId (size) < 0)
                sizes.addItem (juce::String (size), size);
        sizes.setSelectedId (currentDevice->getCurrentBufferSizeSamples(), juce::dontSendNotification);

        auto& channels = getOrCreateList (inputChannelBox, "Audio Input Channels Combo Box", "AUDIO INPUT CHNL",
                                          "AUDIO INPUT CHNL");
        channels.clear (juce::dontSendNotification);
        const auto channelNames = currentDevice->getInputChannelNames();
        for (int i = 0; i < channelNames.size(); ++i)
        {
            // An unnamed channel would not be listed at all.
            const auto name = channelNames[i].isNotEmpty() ? channelNames[i] : juce::String (i + 1);
            channels.addItem (name, inputChannelItemId (i));
        }
        // The channel the analysis hears, whatever else the device has active
        // (a JACK device makes every connected input active).
        const int analysed = tuneEngine->getAnalysedInputChannel();
        if (analysed < channelNames.size())
            channels.setSelectedId (inputChannelItemId (analysed), juce::dontSendNotification);
    }

    for (auto* list : comboBoxes)
        list->addListener (this);

    layOutNewLists();
}

void PreferencesComponent::updateTuningAlgorithmList()
{
    auto& algorithms =
        getOrCreateList (tuningAlgorithmBox, "Tuning Algorithms", "TUNING ALGORITHMS", "Tuning Algorithms");
    fillList (algorithms, TuneKestruneEngine::getTuningAlgorithmNames());

    initialTuningAlgorithm = tuneEngine->getTuningAlgorithm();
    // Notified asynchronously on purpose: the notification fills
    // pendingTuningAlgorithm, so that OK keeps the current algorithm.
    for (int i = 0; i < algorithms.getNumItems(); ++i)
    {
        if (algorithms.getItemText (i) == initialTuningAlgorithm)
        {
            algorithms.setSelectedItemIndex (i, juce::sendNotificationAsync);
            break;
        }
    }

    layOutNewLists();
}

//==============================================================================
void PreferencesComponent::resized()
{
    const juce::Font captionFont ("Arial", 18.0f, juce::Font::plain);

    for (int i = 0; i < comboBoxes.size(); ++i)
    {
        auto* list = comboBoxes.getUnchecked (i);
        auto* caption = labels.getUnchecked (i);
        const int y = firstRowY + rowPitch * rowOf (list);

        list->setBounds (listX, y, listWidth, rowHeight);
        caption->setBounds (captionX, y, captionWidth, rowHeight);

        list->setLookAndFeel (&comboLook);
        list->addListener (this);
        addAndMakeVisible (list);
        addAndMakeVisible (caption);
        caption->setFont (captionFont);
        caption->setColour (juce::Label::textColourId, juce::Colour (0xFFFFFFFF));
    }
    listsAwaitingLayout = false;

    okButton->setTopLeftPosition (280, 440);
    cancelButton->setTopLeftPosition (5, okButton->getY());
    levelMeter->setBounds (100, 460, 100, 25);
    background->setBounds (0, 0, background->getImage().getWidth(), background->getImage().getHeight());
}

//==============================================================================
void PreferencesComponent::comboBoxChanged (juce::ComboBox* list)
{
    const auto text = list->getText();
    const int id = list->getSelectedId();

    if (list == midiInputBox.get())
    {
        midiManager->closeAllInputDevices();
        midiManager->openInputDevice (text);
        updateMidiDeviceLists();
    }
    else if (list == midiOutputBox.get())
    {
        midiManager->closeAllOutputDevices();
        midiManager->openOutputDevice (text);
        updateMidiDeviceLists();
    }
    else if (list == audioDriverBox.get())
    {
        audioDeviceManager->setCurrentAudioDeviceType (text, false);
        // Device names and settings of the former driver mean nothing to the
        // new one: OK must not bring them back.
        pendingSetup = audioDeviceManager->getAudioDeviceSetup();
        analyseFirstOpenedChannel();
        updateAudioDeviceLists();
    }
    else if (list == audioInputBox.get())
    {
        auto setup = audioDeviceManager->getAudioDeviceSetup();
        setup.inputDeviceName = text;
        audioDeviceManager->setAudioDeviceSetup (setup, true);
        // The rate, size and channels the new device actually opened with.
        pendingSetup = audioDeviceManager->getAudioDeviceSetup();
        pendingSetup.inputDeviceName = text;
        analyseFirstOpenedChannel();
        updateAudioDeviceLists();
    }
    else if (list == sampleRateBox.get())
    {
        if (id == 0)
            return;
        auto setup = audioDeviceManager->getAudioDeviceSetup();
        setup.sampleRate = (double) id;
        pendingSetup.sampleRate = (double) id;
        audioDeviceManager->setAudioDeviceSetup (setup, true);
    }
    else if (list == bufferSizeBox.get())
    {
        if (id == 0)
            return;
        auto setup = audioDeviceManager->getAudioDeviceSetup();
        setup.bufferSize = id;
        pendingSetup.bufferSize = id;
        audioDeviceManager->setAudioDeviceSetup (setup, false);
    }
    else if (list == inputChannelBox.get())
    {
        const int channel = inputChannelIndexOfItemId (id);
        if (channel < 0)
            return;
        juce::BigInteger channels;
        channels.setBit (channel);
        auto setup = audioDeviceManager->getAudioDeviceSetup();
        setup.inputChannels = channels;
        setup.useDefaultInputChannels = false;
        pendingSetup.inputChannels = channels;
        pendingSetup.useDefaultInputChannels = false;
        tuneEngine->setAnalysedInputChannel (channel);
        audioDeviceManager->setAudioDeviceSetup (setup, false);
    }
    else if (list == tuningAlgorithmBox.get())
    {
        pendingTuningAlgorithm = text;
    }
}

void PreferencesComponent::buttonClicked (juce::Button* button)
{
    if (button == okButton.get())
    {
        auto setup = audioDeviceManager->getAudioDeviceSetup();
        setup.outputDeviceName = pendingSetup.outputDeviceName;
        setup.inputDeviceName = pendingSetup.inputDeviceName;
        setup.sampleRate = pendingSetup.sampleRate;
        setup.bufferSize = pendingSetup.bufferSize;
        setup.inputChannels = pendingSetup.inputChannels;
        setup.useDefaultInputChannels = pendingSetup.useDefaultInputChannels;
        setup.outputChannels = pendingSetup.outputChannels;
        setup.useDefaultOutputChannels = pendingSetup.useDefaultOutputChannels;
        audioDeviceManager->setAudioDeviceSetup (setup, true);

        // Empty only if OK comes before the list's first notification: an
        // empty name is no algorithm, so keep the current one then.
        if (pendingTuningAlgorithm.isNotEmpty())
            tuneEngine->setTuningAlgorithm (pendingTuningAlgorithm);
        closeWindow();
    }
    else if (button == cancelButton.get())
    {
        audioDeviceManager->setCurrentAudioDeviceType (initialDeviceType, true);
        audioDeviceManager->setAudioDeviceSetup (initialSetup, true);
        updateAudioDeviceLists();

        midiManager->closeAllInputDevices();
        midiManager->closeAllOutputDevices();
        midiManager->openInputDevice (initialMidiInput);
        midiManager->openOutputDevice (initialMidiOutput);
        updateMidiDeviceLists();

        tuneEngine->setTuningAlgorithm (initialTuningAlgorithm);
        tuneEngine->setAnalysedInputChannel (initialAnalysedChannel);
        closeWindow();
    }
}

void PreferencesComponent::analyseFirstOpenedChannel()
{
    // A new device opens its default channels: the first of them carries the machine.
    const auto* device = audioDeviceManager->getCurrentAudioDevice();
    const int first = device != nullptr ? device->getActiveInputChannels().findNextSetBit (0) : -1;
    tuneEngine->setAnalysedInputChannel (juce::jmax (0, first));
}

void PreferencesComponent::closeWindow()
{
    // The window owns this component: it goes once this click has been handled.
    if (auto* window = getParentComponent())
        DeferredWindowDeletion::deleteSoon (window);
}
