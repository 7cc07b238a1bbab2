#pragma once

#include "tuning/TuneKestruneEngine.h"

#include <juce_gui_basics/juce_gui_basics.h>

class MainWindowComponent;
class TuneKnobCalibrationWindow;

class MainWindow : public juce::DocumentWindow
{
public:
    MainWindow (TuneKestruneEngine::Ptr engine, juce::ApplicationCommandManager* commandManager);
    ~MainWindow() override;

    void closeButtonPressed() override;

    // Puts the menus at the top of the window; the window grows by the menu
    // bar's height so that the content keeps the size of its picture.
    void setMenuBarAboveContent (juce::MenuBarModel* model);

    MainWindowComponent* getMainWindowComponent() const { return content.get(); }

private:
    TuneKestruneEngine::Ptr tuneEngine;
    std::unique_ptr<MainWindowComponent> content;
    juce::WeakReference<TuneKnobCalibrationWindow> knobCalibrationWindow;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (MainWindow)
};
