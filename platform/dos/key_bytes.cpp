#include "platform/dos/key_bytes.h"

#include <algorithm>
#include <string>

#include "platform/dos/utf8_text.h"

namespace {

// The stream being decoded, for the length of one DecodeKeyBytes call.
std::deque<unsigned char>* raw_bytes = nullptr;
std::deque<unsigned char>* key_codes = nullptr;
HaveBytesFunction more_bytes = nullptr;

bool HaveBytes(std::size_t count) {
  return more_bytes(count);
}

void PushExtended(unsigned char scan_code) {
  std::deque<unsigned char>& keys = *key_codes;
  keys.push_back(0);
  keys.push_back(scan_code);
}

unsigned char ScanCodeOfTilde(int number) {
  switch (number) {
  case 1:
  case 7:
    return 71; // Home
  case 2:
    return 82; // Insert
  case 3:
    return 83; // Delete
  case 4:
  case 8:
    return 79; // End
  case 5:
    return 73; // Page Up
  case 6:
    return 81; // Page Down
  case 11:
  case 12:
  case 13:
  case 14:
  case 15:
    return static_cast<unsigned char>(59 + number - 11); // F1-F5
  case 17:
  case 18:
  case 19:
  case 20:
  case 21:
    return static_cast<unsigned char>(64 + number - 17); // F6-F10
  case 23:
    return 133; // F11
  case 24:
    return 134; // F12
  default:
    return 0;
  }
}

unsigned char ScanCodeOfFinal(unsigned char final) {
  switch (final) {
  case 'A':
    return 72;
  case 'B':
    return 80;
  case 'C':
    return 77;
  case 'D':
    return 75;
  case 'H':
    return 71;
  case 'F':
    return 79;
  case 'P':
    return 59;
  case 'Q':
    return 60;
  case 'R':
    return 61;
  case 'S':
    return 62;
  case 'Z':
    return 15; // Shift-Tab
  default:
    return 0;
  }
}

// ESC [ ... or ESC O ...: the introducer is raw[1]. Consumes the sequence.
void DecodeSequence() {
  std::deque<unsigned char>& raw = *raw_bytes;
  bool csi = raw[1] == '[';
  std::size_t at = 2;
  int first_number = -1;
  int number = -1;
  for (;;) {
    if (!HaveBytes(at + 1)) {
      raw.erase(raw.begin(), raw.begin() + static_cast<long>(raw.size()));
      PushExtended(0);
      return;
    }
    unsigned char c = raw[at++];
    if (csi && c >= '0' && c <= '9') {
      number = (number < 0 ? 0 : number * 10) + (c - '0');
      continue;
    }
    if (csi && c == ';') {
      if (first_number < 0)
        first_number = number;
      number = -1;
      continue;
    }
    if (first_number < 0)
      first_number = number;
    raw.erase(raw.begin(), raw.begin() + static_cast<long>(at));
    // Modifier keys held with a key give the key's own code.
    PushExtended(c == '~' ? ScanCodeOfTilde(first_number) : ScanCodeOfFinal(c));
    return;
  }
}

// A UTF-8 character starting at raw[0]. A byte that starts no well-formed sequence is no key:
// read as a byte of another code page it could pass for a Greek letter of the yes key (E8, E7,
// AC and 93 are the code page 737 letters of Y).
void DecodeUtf8() {
  std::deque<unsigned char>& raw = *raw_bytes;
  std::deque<unsigned char>& keys = *key_codes;
  unsigned char lead = raw[0];
  std::size_t length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : 2;
  if (lead >= 0xC2 && lead <= 0xF4)
    HaveBytes(length);
  std::string bytes(raw.begin(), raw.begin() + static_cast<long>(std::min(length, raw.size())));
  if (CharLength(bytes, 0) != length) {
    raw.pop_front();
    return;
  }
  raw.erase(raw.begin(), raw.begin() + static_cast<long>(length));
  keys.push_back(Cp737Of(DecodeChar(bytes)));
}

// Turns the bytes at the front of raw into one key.
void DecodeOneKey() {
  std::deque<unsigned char>& raw = *raw_bytes;
  std::deque<unsigned char>& keys = *key_codes;
  unsigned char c = raw[0];
  if (c == 0x1B) {
    if (HaveBytes(2) && (raw[1] == '[' || raw[1] == 'O')) {
      DecodeSequence();
      return;
    }
    raw.pop_front();
    keys.push_back(27);
    return;
  }
  if (c >= 0x80) {
    DecodeUtf8();
    return;
  }
  raw.pop_front();
  if (c == 0x7F)
    keys.push_back(8);
  else if (c == '\n' || c == '\r')
    keys.push_back(13);
  else if (c == 0)
    PushExtended(3); // Ctrl-@
  else
    keys.push_back(c);
}

} // namespace

void DecodeKeyBytes(std::deque<unsigned char>& raw, std::deque<unsigned char>& keys,
                    HaveBytesFunction have_bytes) {
  raw_bytes = &raw;
  key_codes = &keys;
  more_bytes = have_bytes;
  DecodeOneKey();
}

unsigned char Cp737Of(unsigned code_point) {
  if (code_point >= 0x391 && code_point <= 0x3A9 && code_point != 0x3A2)
    return static_cast<unsigned char>(128 + code_point - 0x391 - (code_point > 0x3A2 ? 1 : 0));
  // Code page 737 has sigma before final sigma, Unicode the other way round.
  if (code_point == 0x3C2)
    return 170; // ς
  if (code_point == 0x3C3)
    return 169; // σ
  if (code_point >= 0x3B1 && code_point <= 0x3C9)
    return code_point == 0x3C9 ? 224 : static_cast<unsigned char>(152 + code_point - 0x3B1);
  switch (code_point) {
  case 0x3AC:
    return 225; // ά
  case 0x3AD:
    return 226; // έ
  case 0x3AE:
    return 227; // ή
  case 0x3CA:
    return 228; // ϊ
  case 0x3AF:
    return 229; // ί
  case 0x3CC:
    return 230; // ό
  case 0x3CD:
    return 231; // ύ
  case 0x3CB:
    return 232; // ϋ
  case 0x3CE:
    return 233; // ώ
  case 0x386:
    return 234; // Ά
  case 0x388:
    return 235; // Έ
  case 0x389:
    return 236; // Ή
  case 0x38A:
    return 237; // Ί
  case 0x38C:
    return 238; // Ό
  case 0x38E:
    return 239; // Ύ
  case 0x38F:
    return 240; // Ώ
  default:
    return '?';
  }
}
