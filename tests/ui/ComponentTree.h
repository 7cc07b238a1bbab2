#pragma once

// The firmware tests still include this by its old name.
#include "support/ComponentTree.h"
