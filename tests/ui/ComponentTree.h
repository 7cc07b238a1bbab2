#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

// The first direct child of this type with this component name, or null.
template <typename ComponentType>
ComponentType* findChild (const juce::Component& parent, const juce::String& name)
{
    for (auto* child : parent.getChildren())
        if (child->getName() == name)
            if (auto* typed = dynamic_cast<ComponentType*> (child))
                return typed;
    return nullptr;
}

// The item texts of a list, in order.
inline juce::StringArray itemTexts (const juce::ComboBox& list)
{
    juce::StringArray texts;
    for (int i = 0; i < list.getNumItems(); ++i)
        texts.add (list.getItemText (i));
    return texts;
}

inline juce::Array<int> itemIds (const juce::ComboBox& list)
{
    juce::Array<int> ids;
    for (int i = 0; i < list.getNumItems(); ++i)
        ids.add (list.getItemId (i));
    return ids;
}
