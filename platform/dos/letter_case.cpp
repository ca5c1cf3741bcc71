#include "platform/dos/letter_case.h"

char UpperCaseChar(char c) {
  return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c;
}

std::string UpperCaseString(std::string_view text) {
  std::string upper(text);
  for (char& c : upper)
    c = UpperCaseChar(c);
  return upper;
}
