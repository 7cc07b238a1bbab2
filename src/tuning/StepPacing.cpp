#include "StepPacing.h"

void StepPacing::restart()
{
    steppedOn = -1.0f;
    approaching = true;
    approachSign = 0.0f;
}

bool StepPacing::isStepDue (float hz, float difference)
{
    if (approachSign == 0.0f)
        approachSign = difference > 0.0f ? 1.0f : -1.0f;
    if (difference * approachSign < 0.0f)
        approaching = false;
    // An estimate equal to the one stepped on is taken for the same one.
    if (! approaching && hz == steppedOn)
        return false;
    steppedOn = hz;
    return true;
}
