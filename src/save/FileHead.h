#pragma once
// Kept for code that still includes it from here; the readers live in common/.
#include "common/FileRead.h"
