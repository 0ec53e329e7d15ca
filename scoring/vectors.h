// Which vector instructions the scoring core uses: the widest that the processor has, chosen
// once at start-up. Tests force the narrower ones so that every build of the scan and of the
// normalization is held to the same results.
#pragma once

// Narrower to the right: kWidest picks the widest available; k32 is AVX2, k16 is SSSE3, kNone
// is plain code that runs anywhere.
enum class Vectors { kWidest, k32, k16, kNone };

// Uses `vectors`, or the widest the processor has when that is narrower. Affects every scan and
// normalization in the process; call it only while no other thread scores.
void UseVectors(Vectors vectors);

// The vectors in use: k32, k16 or kNone, never kWidest.
Vectors ActiveVectors();
