#include "AboutWindow.h"

#include "AboutComponent.h"

AboutWindow::AboutWindow (const juce::Image& aboutImage) : juce::ResizableWindow ({}, true)
{
    aboutComponent = std::make_unique<AboutComponent> (aboutImage);
    setContentNonOwned (aboutComponent.get(), true);
    setUsingNativeTitleBar (false);
    setResizable (false, false);
    // The window is now the picture plus its one-pixel border: keep that size
    // so that the whole picture shows.
    centreWithSize (getWidth(), getHeight());
    setAlwaysOnTop (false);
    setVisible (true);
}

AboutWindow::~AboutWindow()
{
    clearContentComponent();
    aboutComponent.reset();
}
