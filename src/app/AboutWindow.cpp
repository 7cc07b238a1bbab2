#include "AboutWindow.h"

AboutWindow::AboutWindow (const juce::Image& aboutImage) : juce::ResizableWindow ({}, true)
{
    auto* image = new juce::ImageComponent();
    image->setImage (aboutImage);
    image->setSize (400, 311);
    setContentOwned (image, true);
    setUsingNativeTitleBar (false);
    setResizable (false, false);
    centreWithSize (getWidth(), getHeight());
    setVisible (true);
}
