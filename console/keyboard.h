// Keys read with the letters of a Greek keyboard layout turned into the Latin letters printed on
// the same keys, and ASCII upper-casing (UpperCaseChar, UpperCaseString), whose home is the DOS
// text rules.
#pragma once

#include <cstdint>

#include "platform/dos/letter_case.h"

// The code page 737 letters and the Latin letters on the same keys, position by position.
extern const unsigned char GreekKeyLetters[58];
extern const char LatinKeyLetters[59];

// Waits for one key. The second byte of an extended key comes back untranslated.
std::uint8_t ReadKeyLatin();
