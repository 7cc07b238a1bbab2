#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

// The first direct child of this type with this component name, or null.
template <typename ComponentType>
ComponentType* findChild (const juce::Component& parent, const juce::String& name)
{
    for (auto* child : parent.getChildren())
        if (auto* typed = dynamic_cast<ComponentType*> (child); typed != nullptr && child->getName() == name)
            return typed;
    return nullptr;
}
