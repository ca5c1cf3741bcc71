// The keys a yes/no question may be given and its answer: only Y, y or a Greek letter of that
// key says yes. One table for the question's unit test and for the drive-root question of a run.
#pragma once

#include <string>

struct AnswerKeys {
  std::string keys;
  bool yes;
  // The question reads these keys to the last and answers. Otherwise it answers before the last
  // (the rest stays for later reads) or waits for more, which a run's piped input ends with Esc.
  bool read_whole;
};

inline const AnswerKeys AnswerKeyCases[] = {
    {"y", true, true},
    {"Y", true, true},
    {"yn", true, false},
    {"υ", true, true}, // Greek upsilon
    {"Υ", true, true},
    {"ύ", true, true},
    {"ϋ", true, true},
    {"n", false, true},
    {"ν", false, true}, // Greek nu
    {"", false, false},
    {"\r", false, true},
    {"\x1b", false, true},
    {"\x1by", false, false},
    {"\x1b[A", false, true},
    {"\x1b[Ay", false, false},
    {"\x1b[23~", false, true},
    {" y", false, false},
    // Bytes of another code page that are code page 737 letters of the Y key (Latin-1 è, ç, ¬,
    // an 8-bit Alt key) are no key at all: the question waits for the next one.
    {"\xE8", false, false},
    {"\xE7", false, false},
    {"\xAC", false, false},
    {"\x93", false, false},
    {"\xE8\xE7\xAC\x93", false, false},
    {"\xE8n", false, true},
    {"\xE7n", false, true},
    {"\xACn", false, true},
    {"\x93n", false, true},
    {"\x93y", true, true},
    {"\xCE", false, false},
    {"è", false, true},
    {"ç", false, true},
    {"ô", false, true},
    {"š", false, true},
};
