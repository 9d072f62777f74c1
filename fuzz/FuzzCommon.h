// Shared setup of the fuzz targets: formats registered once, a small pixel limit so hostile sizes are
// refused quickly, and one call that feeds the bytes to a graphic of the given class.
#pragma once

#include "codec/Graphic.h"

#include <cstddef>
#include <cstdint>

// Loads data into a new graphic of cls, and draws it small when it loaded. Exceptions of the program
// are expected results; anything else (crash, sanitizer report, other exception) is a finding.
void FuzzLoad(TGraphicClass cls, const uint8_t* data, size_t size);
// The same setup without loading anything, for targets that feed their input another way.
void FuzzSetup();
