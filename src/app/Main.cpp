#include "KestruneTuningUtilityApplication.h"

START_JUCE_APPLICATION (KestruneTuningUtilityApplication)
