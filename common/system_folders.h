#pragma once
// Moved to common/paths.h; this name stays until its last includes switch.
#include "common/paths.h"
