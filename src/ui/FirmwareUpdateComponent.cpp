#include "FirmwareUpdateComponent.h"

FirmwareUpdateComponent::FirmwareUpdateComponent (TuneKestruneEngine::Ptr engine) : tuneEngine (engine)
{
    setSize (400, 311);
}
