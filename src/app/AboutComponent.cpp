#include "AboutComponent.h"

#include "KestruneVersion.h"
#include "core/DeferredWindowDeletion.h"

namespace
{

void styleLabel (juce::Label& label)
{
    label.setFont (juce::Font (15.0f, juce::Font::plain));
    label.setJustificationType (juce::Justification::centred);
    label.setEditable (false, false, false);
    label.setColour (juce::Label::textColourId, juce::Colours::white);
}
} // namespace

AboutComponent::AboutComponent (const juce::Image& picture)
    : versionLabel ("Software Version Text", getVersionText()),
      copyrightLabel ("Copyright Text",
                      juce::String (juce::CharPointer_UTF8 ("Copyright \xc2\xa9 Kestrune. All rights reserved.")))
{
    aboutImage.setImage (picture);
    setSize (picture.getWidth(), picture.getHeight());
    aboutImage.setBounds (getLocalBounds());
    addAndMakeVisible (aboutImage);

    styleLabel (versionLabel);
    versionLabel.setBounds (0, getHeight() / 2, getWidth(), 15);
    addAndMakeVisible (versionLabel);

    styleLabel (copyrightLabel);
    copyrightLabel.setBounds (0, getHeight() - 50, getWidth(), 50);
    addAndMakeVisible (copyrightLabel);

    addMouseListener (this, true);
}

AboutComponent::~AboutComponent()
{
    removeMouseListener (this);
}

juce::String AboutComponent::getVersionText()
{
    return "Software Version: " + juce::String (KestruneVersion::application);
}

void AboutComponent::mouseUp (const juce::MouseEvent&)
{
    // The window owns this component: it goes once this click has been handled.
    if (auto* window = getParentComponent())
        DeferredWindowDeletion::deleteSoon (window);
}
