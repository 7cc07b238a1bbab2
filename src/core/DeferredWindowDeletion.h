#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

// Deletes a window once the callback that asked for it has returned, so that
// no window is destroyed while its own code is still on the stack.
class DeferredWindowDeletion
{
public:
    template <typename WindowType>
    static void deleteSoon (WindowType* window)
    {
        window->setVisible (false);
        juce::Component::SafePointer<juce::Component> safe (window);
        juce::MessageManager::callAsync ([safe] { delete safe.getComponent(); });
    }
};
