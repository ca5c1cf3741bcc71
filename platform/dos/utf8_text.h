// Names and masks as UTF-8 text: counted in characters, not bytes, and compared in letter case
// beyond A to Z the way the Windows name comparison does it, one letter for one (ß stays ß). A
// byte that starts no well-formed sequence is a character of its own, so damaged text is still
// handled byte by byte and nothing is ever split inside a sequence.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// The number of bytes of the character at text[at]: a well-formed UTF-8 sequence, else 1.
std::size_t CharLength(std::string_view text, std::size_t at);
std::size_t CountChars(std::string_view text);
// Calls `visit` with each character of the text in turn, as CharLength splits it.
template <typename Visit> void ForEachChar(std::string_view text, Visit visit) {
  for (std::size_t at = 0; at < text.size();) {
    std::size_t length = CharLength(text, at);
    visit(text.substr(at, length));
    at += length;
  }
}
// The code point of one character as CharLength splits it; a lone byte stands for itself.
char32_t DecodeChar(std::string_view c);

// The capital of a letter that has one (a to z, the accented Latin letters, Greek, Cyrillic,
// Armenian, full-width Latin); any other code point comes back unchanged.
char32_t UpperCaseLetter(char32_t code_point);
// Every letter that has a capital turned into it; other bytes and characters stay as they are.
std::string UpperCaseText(std::string_view text);
// Two characters (as CharLength splits them) that differ at most in letter case.
bool SameLetter(std::string_view a, std::string_view b);
