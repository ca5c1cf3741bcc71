// Keys from standard input read as bytes (a terminal, a pipe or a file), the same on every
// system: the system's key body reads the bytes (ReadInput) and they become keys here, as
// platform/dos/key_bytes.h says. Nothing read is thrown away; at the end of the input no key is
// available, and a read that must wait answers Esc, so that no question ever hangs.
#pragma once

#include <cstddef>
#include <cstdint>

// Defined by the system's key body: takes what standard input holds (TakeInputBytes, or
// EndOfInput at its end), waiting at most timeout_ms (-1: until something comes). Never called
// once the input has ended.
void ReadInput(int timeout_ms);

// For ReadInput.
void TakeInputBytes(const unsigned char* bytes, std::size_t count);
void EndOfInput();
bool InputEnded();

// Key codes decoded and not yet read, an extended key as 0 and its scan code. A body that gets
// keys as events (a console) adds them with AddKey.
bool KeyWaiting();
void AddKey(unsigned char code);
std::uint8_t TakeKey();

// True when bytes wait to become keys.
bool BytesWaiting();
// The bytes' part of KeyAvailable: the waiting bytes, or what standard input holds at once,
// decoded; true when a key waits then.
bool KeyFromBytes();
// One step of waiting for a key: the waiting bytes decoded, or a read that waits for more. False
// at the end of the input, where the question reads Esc.
bool AwaitKeyBytes();
