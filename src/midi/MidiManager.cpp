#include "MidiManager.h"

#include "CombinedMidiPortSystem.h"

#include <algorithm>
#include <exception>

MidiManager::MidiManager() : MidiManager (CombinedMidiPortSystem::createDefault()) {}

MidiManager::MidiManager (std::shared_ptr<MidiPortSystem> system, MillisecondClock& clockToUse)
    : portSystem (std::move (system)), clock (clockToUse)
{
    jassert (portSystem != nullptr);
    startTimer (50);
}

MidiManager::~MidiManager()
{
    stopTimer();
    const juce::ScopedLock sl (lock);
    openOutputs.clear();
    for (auto& input : openInputs)
        input->stop();
    openInputs.clear();
    missingInputNames.clear();
    missingOutputNames.clear();
}

void MidiManager::openInputDevice (const juce::String& name)
{
    if (isInputDeviceOpen (name))
        return;
    // Some systems refuse an input opened right after it appeared.
    juce::Thread::sleep (50);
    openInputDeviceNow (name);
}

void MidiManager::openInputDeviceNow (const juce::String& name)
{
    if (isInputDeviceOpen (name))
        return;

    const auto names = portSystem->getInputNames();
    for (int i = 0; i < names.size(); ++i)
    {
        if (names[i] != name)
            continue;
        try
        {
            // Opened by index: a port plugged or pulled since the listing
            // shifts the indices, and another device must not be kept under this name.
            if (auto input = portSystem->openInput (i, this); input != nullptr && input->getName() == name)
            {
                const juce::ScopedLock sl (lock);
                input->start();
                openInputs.push_back (std::move (input));
            }
        }
        catch (const std::exception&)
        {
            // A port that fails to open is skipped; the next one of that name may work.
        }
    }
}

void MidiManager::openOutputDevice (const juce::String& name)
{
    if (isOutputDeviceOpen (name))
        return;

    const auto names = portSystem->getOutputNames();
    for (int i = 0; i < names.size(); ++i)
    {
        if (names[i] != name)
            continue;
        if (auto output = portSystem->openOutput (i); output != nullptr && output->getName() == name)
        {
            const juce::ScopedLock sl (lock);
            openOutputs.push_back ({ name, std::move (output) });
        }
    }
}

void MidiManager::closeAllInputDevices()
{
    const juce::ScopedLock sl (lock);
    for (auto& input : openInputs)
        input->stop();
    openInputs.clear();
}

void MidiManager::closeAllOutputDevices()
{
    const juce::ScopedLock sl (lock);
    for (auto& entry : openOutputs)
        entry.output->stopBackgroundThread();
    openOutputs.clear();
}

bool MidiManager::isInputDeviceAvailable (const juce::String& name)
{
    return portSystem->getInputNames().contains (name);
}

bool MidiManager::isOutputDeviceAvailable (const juce::String& name)
{
    return portSystem->getOutputNames().contains (name);
}

bool MidiManager::isInputDeviceOpen (const juce::String& name) const
{
    const juce::ScopedLock sl (lock);
    return std::any_of (openInputs.begin(), openInputs.end(),
                        [&] (const auto& input) { return input->getName() == name; });
}

bool MidiManager::isOutputDeviceOpen (const juce::String& name) const
{
    const juce::ScopedLock sl (lock);
    return std::any_of (openOutputs.begin(), openOutputs.end(),
                        [&] (const auto& entry) { return entry.name == name; });
}

juce::StringArray MidiManager::getOpenInputDeviceNames() const
{
    const juce::ScopedLock sl (lock);
    juce::StringArray names;
    for (auto& input : openInputs)
        names.add (input->getName());
    return names;
}

juce::StringArray MidiManager::getOpenOutputDeviceNames() const
{
    const juce::ScopedLock sl (lock);
    juce::StringArray names;
    for (auto& entry : openOutputs)
        names.add (entry.name);
    return names;
}

int MidiManager::getNumOpenOutputDevices() const
{
    const juce::ScopedLock sl (lock);
    return (int) openOutputs.size();
}

juce::StringArray MidiManager::getAvailableInputDeviceNames()
{
    return portSystem->getInputNames();
}

juce::StringArray MidiManager::getAvailableOutputDeviceNames()
{
    return portSystem->getOutputNames();
}

int MidiManager::sendMessageToAllOutputs (const juce::MidiMessage& message)
{
    const juce::ScopedLock sl (lock);
    int taken = 0;
    for (auto& entry : openOutputs)
        if (reaches (entry) && entry.output->sendMessageNow (message))
            ++taken;
    return taken;
}

int MidiManager::sendMessageToOutput (const juce::String& name, const juce::MidiMessage& message)
{
    const juce::ScopedLock sl (lock);
    int taken = 0;
    for (auto& entry : openOutputs)
        if (entry.name == name && reaches (entry) && entry.output->sendMessageNow (message))
            ++taken;
    return taken;
}

bool MidiManager::reaches (OpenMidiOutput& entry)
{
    // A port that took bytes into a dropped connection would pass them as sent.
    return ! entry.vanished && entry.output->isConnected();
}

void MidiManager::addListener (Listener* listener)
{
    if (listener != nullptr)
        listeners.add (listener); // ListenerList ignores a listener already present
}

void MidiManager::removeListener (Listener* listener)
{
    listeners.remove (listener);
}

void MidiManager::handleIncomingMidiMessage (MidiInputPort* source, const juce::MidiMessage& message)
{
    listeners.call ([&] (Listener& l) { l.midiMessageReceived (source, message); });
}

void MidiManager::closeInputDevice (const juce::String& name)
{
    const juce::ScopedLock sl (lock);
    for (auto it = openInputs.begin(); it != openInputs.end();)
    {
        if ((*it)->getName() == name)
        {
            (*it)->stop();
            it = openInputs.erase (it);
        }
        else
        {
            ++it;
        }
    }
}

void MidiManager::closeOutputDevice (const juce::String& name)
{
    const juce::ScopedLock sl (lock);
    for (auto it = openOutputs.begin(); it != openOutputs.end();)
    {
        if (it->name == name)
        {
            it->output->stopBackgroundThread();
            it = openOutputs.erase (it);
        }
        else
        {
            ++it;
        }
    }
}

template <typename Open, typename IsOpen>
void MidiManager::reopenIfDue (juce::StringArray& missing, const juce::StringArray& listed, const juce::String& name,
                               Open open, IsOpen isOpen)
{
    if (! listed.contains (name) || ! missing.contains (name))
        return;

    const auto key = juce::String (&missing == &missingInputNames ? "in " : "out ") + name;
    const auto now = clock.getMillisecondCounter();
    auto retry = retries.find (key);
    if (retry != retries.end() && (juce::int32) (now - retry->second.notBeforeMs) < 0)
        return;

    open (name);
    if (isOpen (name))
    {
        missing.removeString (name);
        retries.erase (key);
        return;
    }

    // A port that reappears may refuse connections for a while; the name
    // stays missing, and the next attempts come further and further apart.
    auto& next = retries[key];
    next.delayMs = juce::jlimit (firstRetryDelayMs, longestRetryDelayMs, next.delayMs * 2);
    next.notBeforeMs = now + next.delayMs;
}

void MidiManager::timerCallback()
{
    const juce::ScopedLock sl (lock);

    const auto inputNames = portSystem->getInputNames();
    for (const auto& name : juce::StringArray (missingInputNames))
        reopenIfDue (missingInputNames, inputNames, name, [this] (const juce::String& n) { openInputDeviceNow (n); },
                     [this] (const juce::String& n) { return isInputDeviceOpen (n); });

    const auto outputNames = portSystem->getOutputNames();
    for (const auto& name : juce::StringArray (missingOutputNames))
        reopenIfDue (missingOutputNames, outputNames, name, [this] (const juce::String& n) { openOutputDevice (n); },
                     [this] (const juce::String& n) { return isOutputDeviceOpen (n); });

    // Outputs that are gone take nothing from now on, also while the removal
    // of an input is being reported: a listener's write-back could not reach
    // the device, and must not count as sent.
    // One that lost its connection counts as gone until it is opened, and
    // connected, again.
    for (auto& entry : openOutputs)
        entry.vanished = entry.vanished || ! outputNames.contains (entry.name) || ! entry.output->isConnected();

    // Walk copies of the names: listeners and the close calls change the lists.
    for (const auto& name : getOpenInputDeviceNames())
    {
        if (isInputDeviceOpen (name) && ! isInputDeviceAvailable (name))
        {
            missingInputNames.add (name);
            listeners.call ([&] (Listener& l) { l.midiInputDeviceRemoved (name); });
            closeInputDevice (name);
        }
    }

    for (const auto& name : getOpenOutputDeviceNames())
    {
        if (! isOutputDeviceOpen (name))
            continue;
        const bool connected = std::all_of (openOutputs.begin(), openOutputs.end(), [&] (auto& entry) {
            return entry.name != name || entry.output->isConnected();
        });
        if (connected && isOutputDeviceAvailable (name))
        {
            // Listed again after all: it stays open and takes messages.
            for (auto& entry : openOutputs)
                entry.vanished = entry.vanished && entry.name != name;
            continue;
        }
        missingOutputNames.add (name);
        listeners.call ([&] (Listener& l) { l.midiOutputDeviceRemoved (name); });
        closeOutputDevice (name);
    }
}
