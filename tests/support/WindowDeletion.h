#pragma once

#include <gtest/gtest.h>
#include <juce_gui_basics/juce_gui_basics.h>

// A window closed by a click or event on its own content must outlive that
// event (the content's code is still running) and be gone once the message
// loop has run: call right after the event.
template <typename Window>
::testing::AssertionResult deletedOnlyAfterTheEvent (const juce::Component::SafePointer<Window>& window)
{
    if (window == nullptr)
        return ::testing::AssertionFailure() << "deleted inside its own event";
    juce::MessageManager::getInstance()->runDispatchLoopUntil (30);
    if (window != nullptr)
        return ::testing::AssertionFailure() << "still there after the event";
    return ::testing::AssertionSuccess();
}
