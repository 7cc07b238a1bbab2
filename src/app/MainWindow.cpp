#include "MainWindow.h"

#include "TuneKnobCalibrationWindow.h"
#include "ui/MainWindowComponent.h"

MainWindow::MainWindow (TuneKestruneEngine::Ptr engine, juce::ApplicationCommandManager* commandManager)
    : juce::DocumentWindow ("Kestrune Tuning Utility", juce::Colours::grey,
                            juce::DocumentWindow::minimiseButton | juce::DocumentWindow::closeButton, true),
      tuneEngine (engine)
{
    content = std::make_unique<MainWindowComponent> (engine, commandManager);
    content->showKnobCalibrationWindow = [this] {
        if (knobCalibrationWindow != nullptr)
            return;
        auto* window = new TuneKnobCalibrationWindow (tuneEngine);
        knobCalibrationWindow = window;
        window->setUsingNativeTitleBar (true);
        window->setVisible (true);
        window->centreWithSize (window->getWidth(), window->getHeight());
    };
    // Native title bar before the content: switching afterwards hands the
    // space of JUCE's own title bar to the content, which then shows a grey
    // band below its picture. The later switch by the caller changes nothing.
    setUsingNativeTitleBar (true);
    setContentNonOwned (content.get(), true);
    setResizable (false, false);
}

MainWindow::~MainWindow()
{
    delete knobCalibrationWindow.get();
    setMenuBar (nullptr);
    clearContentComponent();
    content.reset();
}

void MainWindow::setMenuBarAboveContent (juce::MenuBarModel* model)
{
    const auto width = content->getWidth();
    const auto height = content->getHeight();
    setMenuBar (model);
    setContentComponentSize (width, height);
}

void MainWindow::closeButtonPressed()
{
    if (auto* app = juce::JUCEApplication::getInstance())
        app->systemRequestedQuit();
}
