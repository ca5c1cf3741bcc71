// Bytes from a terminal, a pipe or a file turned into key codes. Both builds read a pipe with
// this decoder, and the Linux build a terminal too, so one table holds them to the same keys.
#include "platform/dos/key_bytes.h"

#include <gtest/gtest.h>

#include <deque>
#include <string>
#include <vector>

namespace {

std::deque<unsigned char> raw;

// The whole input is already there: nothing more comes while a sequence is decoded.
bool NothingMore(std::size_t count) {
  return raw.size() >= count;
}

std::vector<int> KeysOf(const std::string& bytes) {
  raw.assign(bytes.begin(), bytes.end());
  std::deque<unsigned char> keys;
  while (!raw.empty())
    DecodeKeyBytes(raw, keys, NothingMore);
  return {keys.begin(), keys.end()};
}

struct KeyCase {
  const char* what;
  std::string bytes;
  std::vector<int> keys;
};

const KeyCase kKeyCases[] = {
    {"plain letters", "yN", {'y', 'N'}},
    {"line feed and carriage return are Enter", "\n\r", {13, 13}},
    {"DEL is Backspace", "\x7f", {8}},
    {"a lone Esc", "\x1b", {27}},
    {"Esc before a letter", "\x1by", {27, 'y'}},
    {"NUL is Ctrl-@", std::string("\0", 1), {0, 3}},
    {"cursor keys", "\x1b[A\x1b[B\x1b[D\x1b[C", {0, 72, 0, 80, 0, 75, 0, 77}},
    {"Home and End, both forms", "\x1b[H\x1bOF\x1b[1~\x1b[4~", {0, 71, 0, 79, 0, 71, 0, 79}},
    {"Insert and Delete", "\x1b[2~\x1b[3~", {0, 82, 0, 83}},
    {"Page Up and Page Down", "\x1b[5~\x1b[6~", {0, 73, 0, 81}},
    {"F1 to F4 as SS3", "\x1bOP\x1bOQ\x1bOR\x1bOS", {0, 59, 0, 60, 0, 61, 0, 62}},
    {"F5, F10, F11, F12", "\x1b[15~\x1b[21~\x1b[23~\x1b[24~", {0, 63, 0, 68, 0, 133, 0, 134}},
    {"a modifier held gives the key's own code", "\x1b[1;5C\x1b[3;2~", {0, 77, 0, 83}},
    {"Shift-Tab", "\x1b[Z", {0, 15}},
    {"an unknown sequence is an extended key 0", "\x1b[99~", {0, 0}},
    {"a sequence cut off by the end", "\x1b[1", {0, 0}},
    {"Greek capitals and small letters in code page 737",
     "\xce\xa5\xcf\x85\xce\x9d",
     {147, 172, 140}},
    {"sigma and final sigma", "\xcf\x83\xcf\x82", {169, 170}},
    {"Greek with an accent", "\xce\xac\xce\x86", {225, 234}},
    {"another character is a question mark", "\xc3\xa9", {'?'}},
    // A byte of another code page could pass for a Greek letter of the yes key: è, ç, ¬ in
    // Latin-1 and ô in code page 437 are the code page 737 bytes of ϋ, ύ, υ and Υ.
    {"bytes that are not UTF-8 are no keys", "\xe8n\xe7n\xacn\x93", {'n', 'n', 'n'}},
    // Together, the last three make one well-formed character.
    {"a character that is no Greek letter", "\xe8\xe7\xac\x93", {'?'}},
    {"a byte that starts no character is no key",
     "\xff"
     "a",
     {'a'}},
    {"a character cut off by the end is no key", "\xce", {}},
    {"a character cut off by another key", "\xcey", {'y'}},
    {"overlong forms and surrogates are no keys", "\xc1\xb9\xe0\x81\xb9\xed\xa0\x80", {}},
    {"a lone continuation byte is no key", "\xa5n", {'n'}},
    {"four-byte characters are question marks", "\xf0\x9f\x98\x80", {'?'}},
};

TEST(KeyBytesTest, BytesBecomeKeys) {
  for (const KeyCase& c : kKeyCases)
    EXPECT_EQ(KeysOf(c.bytes), c.keys) << c.what;
}

} // namespace
