#pragma once
// Moved to common/text_conversion.h; this name stays until its last include switches.
#include "common/text_conversion.h"
