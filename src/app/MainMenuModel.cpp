#include "MainMenuModel.h"

#include "CommandIDs.h"

MainMenuModel::MainMenuModel (juce::ApplicationCommandManager* manager) : commandManager (manager)
{
    setApplicationCommandManagerToWatch (commandManager);
}

juce::StringArray MainMenuModel::getMenuBarNames()
{
    return { "File", "Window" };
}

juce::PopupMenu MainMenuModel::getMenuForIndex (int, const juce::String& menuName)
{
    juce::PopupMenu menu;
    if (menuName == "File")
    {
#if ! JUCE_MAC
        // Without an application menu the About item heads the File menu.
        menu.addCommandItem (commandManager, CommandIDs::aboutCommand);
#endif
        menu.addCommandItem (commandManager, CommandIDs::preferencesCommand);
        menu.addCommandItem (commandManager, CommandIDs::updateFirmwareCommand);
        menu.addCommandItem (commandManager, CommandIDs::undoTuningCommand);
        menu.addCommandItem (commandManager, CommandIDs::restoreDefaultCalibrationCommand);
        menu.addCommandItem (commandManager, CommandIDs::writeCalibrationToFileCommand);
        menu.addCommandItem (commandManager, CommandIDs::loadCalibrationFromFileCommand);
        menu.addCommandItem (commandManager, CommandIDs::checkTuningCommand);
    }
    else if (menuName == "Window")
    {
        menu.addCommandItem (commandManager, CommandIDs::minimiseCommand);
        menu.addCommandItem (commandManager, CommandIDs::bringToFrontCommand);
        menu.addSeparator();
    }
    return menu;
}

void MainMenuModel::menuItemSelected (int, int) {}
