#include "MainWindow.h"

#include "ui/MainWindowComponent.h"

MainWindow::MainWindow (TuneKestruneEngine::Ptr engine, juce::ApplicationCommandManager* commandManager)
    : juce::DocumentWindow ("Kestrune Tuning Utility", juce::Colours::grey,
                            juce::DocumentWindow::minimiseButton | juce::DocumentWindow::closeButton, true),
      tuneEngine (engine)
{
    content = std::make_unique<MainWindowComponent> (engine, commandManager);
    setContentNonOwned (content.get(), true);
    setResizable (false, false);
}

MainWindow::~MainWindow()
{
    setMenuBar (nullptr);
    clearContentComponent();
    content.reset();
}

void MainWindow::closeButtonPressed()
{
    if (auto* app = juce::JUCEApplication::getInstance())
        app->systemRequestedQuit();
}
