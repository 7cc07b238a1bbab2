#include "CombinedMidiPortSystem.h"

#include "JuceMidiPortSystem.h"
#include "KestruneConfig.h"

#if KESTRUNE_WITH_JACK
 #include "JackMidiPortSystem.h"
#endif

CombinedMidiPortSystem::CombinedMidiPortSystem (std::vector<std::shared_ptr<MidiPortSystem>> s) : systems (std::move (s)) {}

std::shared_ptr<MidiPortSystem> CombinedMidiPortSystem::createDefault()
{
    return std::make_shared<CombinedMidiPortSystem> (std::vector<std::shared_ptr<MidiPortSystem>> {
        std::make_shared<JuceMidiPortSystem>(),
#if KESTRUNE_WITH_JACK
        std::make_shared<JackMidiPortSystem>(),
#endif
    });
}

juce::StringArray CombinedMidiPortSystem::getInputNames()
{
    juce::StringArray names;
    for (auto& system : systems)
        names.addArray (system->getInputNames());
    return names;
}

juce::StringArray CombinedMidiPortSystem::getOutputNames()
{
    juce::StringArray names;
    for (auto& system : systems)
        names.addArray (system->getOutputNames());
    return names;
}

std::unique_ptr<MidiInputPort> CombinedMidiPortSystem::openInput (int index, MidiInputPortCallback* callback)
{
    for (auto& system : systems)
    {
        const auto count = system->getInputNames().size();
        if (index < count)
            return index >= 0 ? system->openInput (index, callback) : nullptr;
        index -= count;
    }
    return nullptr;
}

std::unique_ptr<MidiOutputPort> CombinedMidiPortSystem::openOutput (int index)
{
    for (auto& system : systems)
    {
        const auto count = system->getOutputNames().size();
        if (index < count)
            return index >= 0 ? system->openOutput (index) : nullptr;
        index -= count;
    }
    return nullptr;
}
