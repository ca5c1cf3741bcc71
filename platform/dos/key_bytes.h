// Keys from a stream of bytes (a terminal, a pipe or a file), the same on every system: escape
// sequences of the arrow, editing and function keys become 0 and the PC scan code, a lone Esc is
// 27, DEL is Backspace (8), a line feed or carriage return is Enter (13), a NUL is the extended
// key 3 (Ctrl-@), UTF-8 Greek letters become their code page 737 bytes, any other UTF-8 character
// is '?', and a byte that is not UTF-8 is no key at all.
#pragma once

#include <cstddef>
#include <deque>

// Makes `raw` hold at least `count` bytes if they come soon (the rest of an escape sequence or of
// a UTF-8 character) and answers whether it does.
using HaveBytesFunction = bool (*)(std::size_t count);

// Turns the bytes at the front of `raw` (at least one) into one key at the back of `keys`: one
// code, or 0 and a scan code; a byte that is no key is taken and nothing is added.
void DecodeKeyBytes(std::deque<unsigned char>& raw, std::deque<unsigned char>& keys,
                    HaveBytesFunction have_bytes);

// The code page 737 byte of a Greek letter, or '?' for another character.
unsigned char Cp737Of(unsigned code_point);
