#include "platform/dos/utf8_text.h"

namespace {

unsigned char ByteAt(std::string_view text, std::size_t at) {
  return static_cast<unsigned char>(text[at]);
}

void AppendUtf8(std::string& out, char32_t code) {
  if (code < 0x80) {
    out += static_cast<char>(code);
  } else if (code < 0x800) {
    out += static_cast<char>(0xC0 | code >> 6);
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else if (code < 0x10000) {
    out += static_cast<char>(0xE0 | code >> 12);
    out += static_cast<char>(0x80 | (code >> 6 & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | code >> 18);
    out += static_cast<char>(0x80 | (code >> 12 & 0x3F));
    out += static_cast<char>(0x80 | (code >> 6 & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  }
}

// The character as it stands when it has no capital or is no well-formed sequence.
char32_t UpperOfChar(std::string_view c) {
  char32_t code = DecodeChar(c);
  return c.size() == 1 && code >= 0x80 ? code : UpperCaseLetter(code);
}

// In the blocks where small and capital letters alternate, the small one is the odd or the even
// code point of its pair.
bool InPairs(char32_t c, char32_t first, char32_t last, bool small_is_odd) {
  return c >= first && c <= last && (c % 2 == 1) == small_is_odd;
}

} // namespace

char32_t DecodeChar(std::string_view c) {
  if (c.size() == 1)
    return ByteAt(c, 0);
  char32_t code = ByteAt(c, 0) & (c.size() == 2 ? 0x1F : c.size() == 3 ? 0x0F : 0x07);
  for (std::size_t i = 1; i < c.size(); ++i)
    code = code << 6 | (ByteAt(c, i) & 0x3F);
  return code;
}

std::size_t CharLength(std::string_view text, std::size_t at) {
  unsigned char lead = ByteAt(text, at);
  std::size_t length;
  unsigned char low = 0x80, high = 0xBF; // allowed range of the first continuation byte
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    if (lead == 0xE0)
      low = 0xA0; // overlong form
    else if (lead == 0xED)
      high = 0x9F; // UTF-16 surrogates
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    if (lead == 0xF0)
      low = 0x90; // overlong form
    else if (lead == 0xF4)
      high = 0x8F; // beyond U+10FFFF
  } else {
    return 1;
  }
  if (text.size() - at < length)
    return 1;
  if (ByteAt(text, at + 1) < low || ByteAt(text, at + 1) > high)
    return 1;
  for (std::size_t i = 2; i < length; ++i)
    if (ByteAt(text, at + i) < 0x80 || ByteAt(text, at + i) > 0xBF)
      return 1;
  return length;
}

std::size_t CountChars(std::string_view text) {
  std::size_t count = 0;
  for (std::size_t at = 0; at < text.size(); at += CharLength(text, at))
    ++count;
  return count;
}

char32_t UpperCaseLetter(char32_t c) {
  if ((c >= 'a' && c <= 'z') || (c >= 0xE0 && c <= 0xFE && c != 0xF7) ||
      (c >= 0x3B1 && c <= 0x3CB && c != 0x3C2) || (c >= 0x430 && c <= 0x44F) ||
      (c >= 0xFF41 && c <= 0xFF5A))
    return c - 0x20;
  if (c == 0xFF)
    return 0x178; // ÿ
  if (InPairs(c, 0x100, 0x12F, true) || InPairs(c, 0x132, 0x137, true) ||
      InPairs(c, 0x139, 0x148, false) || InPairs(c, 0x14A, 0x177, true) ||
      InPairs(c, 0x179, 0x17E, false) || InPairs(c, 0x460, 0x481, true) ||
      InPairs(c, 0x48A, 0x4BF, true) || InPairs(c, 0x4C1, 0x4CE, false) ||
      InPairs(c, 0x4D0, 0x52F, true))
    return c - 1;
  if (c == 0x3C2)
    return 0x3A3; // final sigma
  if (c == 0x3AC)
    return 0x386; // ά
  if (c >= 0x3AD && c <= 0x3AF)
    return c - 0x25; // έ ή ί
  if (c == 0x3CC)
    return 0x38C; // ό
  if (c == 0x3CD || c == 0x3CE)
    return c - 0x3F; // ύ ώ
  if (c >= 0x450 && c <= 0x45F)
    return c - 0x50;
  if (c == 0x4CF)
    return 0x4C0;
  if (c >= 0x561 && c <= 0x586)
    return c - 0x30; // Armenian
  return c;
}

std::string UpperCaseText(std::string_view text) {
  std::string upper;
  upper.reserve(text.size());
  ForEachChar(text, [&upper](std::string_view c) {
    char32_t code = UpperOfChar(c);
    if (c.size() == 1 && code >= 0x80)
      upper += c; // a stray byte stays as it is
    else
      AppendUtf8(upper, code);
  });
  return upper;
}

bool SameLetter(std::string_view a, std::string_view b) {
  if (a == b)
    return true;
  // A stray byte is equal only to itself.
  if ((a.size() == 1 && ByteAt(a, 0) >= 0x80) || (b.size() == 1 && ByteAt(b, 0) >= 0x80))
    return false;
  return UpperOfChar(a) == UpperOfChar(b);
}
