// Registers every graphic class built into the program, then the central start-up table.
// Safe to call more than once; only the first call registers.
#pragma once

void InitializeFormats();
