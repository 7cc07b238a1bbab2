#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

// The "File" and "Window" menus, built from the application's commands so that
// texts and enabled states always come from the commands themselves.
class MainMenuModel : public juce::MenuBarModel
{
public:
    explicit MainMenuModel (juce::ApplicationCommandManager* commandManager);

    juce::StringArray getMenuBarNames() override;
    juce::PopupMenu getMenuForIndex (int topLevelMenuIndex, const juce::String& menuName) override;
    void menuItemSelected (int menuItemID, int topLevelMenuIndex) override;

private:
    juce::ApplicationCommandManager* commandManager;
};
