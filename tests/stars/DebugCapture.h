// Kept for the tests that still include the helper from here; it lives in tests/common.
#pragma once

#include "../common/DebugCapture.h"
