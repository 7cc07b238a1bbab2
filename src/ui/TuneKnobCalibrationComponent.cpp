#include "TuneKnobCalibrationComponent.h"

TuneKnobCalibrationComponent::TuneKnobCalibrationComponent (TuneKestruneEngine::Ptr engine) : tuneEngine (engine)
{
    setSize (400, 311);
}
