#include "FirmwareUpdateWindow.h"

#include "core/DeferredWindowDeletion.h"
#include "ui/FirmwareUpdateComponent.h"

FirmwareUpdateWindow::FirmwareUpdateWindow (TuneKestruneEngine::Ptr engine)
    : FirmwareUpdateWindow (engine, std::make_unique<FirmwareUpdateComponent> (engine), true)
{
}

FirmwareUpdateWindow::FirmwareUpdateWindow (TuneKestruneEngine::Ptr engine,
                                            std::unique_ptr<FirmwareUpdateComponent> contentToUse,
                                            bool addToDesktop)
    : juce::DocumentWindow ("Kestrune Firmware Update", juce::Colours::grey,
                            juce::DocumentWindow::minimiseButton | juce::DocumentWindow::closeButton, addToDesktop),
      tuneEngine (std::move (engine)),
      content (std::move (contentToUse))
{
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
    const juce::Component::SafePointer<FirmwareUpdateWindow> window (this);
    // Nothing of this object may be touched once the question returns.
    if (confirmClose() && window != nullptr)
        DeferredWindowDeletion::deleteSoon (window.getComponent());
}

bool FirmwareUpdateWindow::confirmClose()
{
    return ! tuneEngine->isUpdatingFirmware() || askToCloseDuringUpdate();
}

bool FirmwareUpdateWindow::askToCloseDuringUpdate()
{
    return juce::AlertWindow::showOkCancelBox (
        juce::AlertWindow::WarningIcon, "Firmware Update In Process",
        "Firmware Update is in process, Quiting before finishing this process will leave the Kestrune in an "
        "unusable state until an update has been sucessfull.",
        {}, {}, nullptr, nullptr);
}
