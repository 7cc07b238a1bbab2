#pragma once

// The firmware tests still include the rigs by this name.
#include "support/FakeRig.h"
#include "support/SimRig.h"
