#pragma once

#include "tuning/TuneKestruneEngine.h"

#include <juce_gui_basics/juce_gui_basics.h>

class MainWindowComponent;

class MainWindow : public juce::DocumentWindow
{
public:
    MainWindow (TuneKestruneEngine::Ptr engine, juce::ApplicationCommandManager* commandManager);
    ~MainWindow() override;

    void closeButtonPressed() override;

    MainWindowComponent* getMainWindowComponent() const { return content.get(); }

private:
    TuneKestruneEngine::Ptr tuneEngine;
    std::unique_ptr<MainWindowComponent> content;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (MainWindow)
};
