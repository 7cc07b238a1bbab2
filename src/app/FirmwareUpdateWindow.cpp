#include "FirmwareUpdateWindow.h"

#include "DeferredWindowDeletion.h"
#include "ui/FirmwareUpdateComponent.h"

FirmwareUpdateWindow::FirmwareUpdateWindow (TuneKestruneEngine::Ptr engine)
    : juce::DocumentWindow ("Kestrune Firmware Update", juce::Colours::grey,
                            juce::DocumentWindow::minimiseButton | juce::DocumentWindow::closeButton, true),
      tuneEngine (engine)
{
    content = std::make_unique<FirmwareUpdateComponent> (engine);
    // Native title bar before the content: switching afterwards hands the
    // space of JUCE's own title bar to the content, which then shows a grey
    // band below its picture. The later switch by the caller changes nothing.
    setUsingNativeTitleBar (true);
    setContentNonOwned (content.get(), true);
    setResizable (false, false);
}

FirmwareUpdateWindow::~FirmwareUpdateWindow()
{
    clearContentComponent();
    content.reset();
}

void FirmwareUpdateWindow::closeButtonPressed()
{
    if (confirmClose())
        DeferredWindowDeletion::deleteSoon (this);
}

bool FirmwareUpdateWindow::confirmClose()
{
    if (tuneEngine->isUpdatingFirmware())
    {
        return juce::AlertWindow::showOkCancelBox (
            juce::AlertWindow::WarningIcon, "Firmware Update In Process",
            "Firmware Update is in process, Quiting before finishing this process will leave the Kestrune in an "
            "unusable state until an update has been sucessfull.",
            {}, {}, nullptr, nullptr);
    }
    return true;
}
