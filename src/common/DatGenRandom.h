// The program's pseudo-random numbers: seeded from the clock at start-up,
// used for names that must differ between runs (a moved-aside stop marker,
// the exclusive connection of a run).
#pragma once

#include <cstdint>

// Seeds the generator from the current time.
void Randomize();

// Seeds the generator with a fixed value (tests).
void RandSeed(uint32_t seed);

// A whole number from 0 to range - 1; 0 when range is not positive.
int Random(int range);
