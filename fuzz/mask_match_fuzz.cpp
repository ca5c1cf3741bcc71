// The mask matcher against a plain recursive matcher written from the matching rules alone:
// the first byte gives the mask's length (0 to 64 bytes), the rest of the input is mask then name.
// And the option loop's mask: upper-casing neither cuts, splits nor widens it, and a mask of more
// than 12 characters is refused rather than cut.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "app/options.h"
#include "platform/dos/utf8_text.h"
#include "platform/dos/wildcard.h"
#include "settings/settings_block.h"

namespace {

// One character: a well-formed UTF-8 sequence (decoded and checked by its code point: no
// overlong form, no surrogate, nothing past U+10FFFF), or else a single byte.
std::vector<std::string_view> Characters(std::string_view s) {
  std::vector<std::string_view> out;
  std::size_t at = 0;
  while (at < s.size()) {
    unsigned lead = static_cast<unsigned char>(s[at]);
    std::size_t length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
    unsigned code = length == 4 ? lead & 0x07 : length == 3 ? lead & 0x0F : lead & 0x1F;
    bool ok = length > 1 && lead < 0xF8 && at + length <= s.size();
    for (std::size_t i = 1; ok && i < length; ++i) {
      unsigned next = static_cast<unsigned char>(s[at + i]);
      ok = (next & 0xC0) == 0x80;
      code = code << 6 | (next & 0x3F);
    }
    const unsigned smallest[] = {0, 0, 0x80, 0x800, 0x10000};
    ok = ok && code >= smallest[length] && code <= 0x10FFFF && !(code >= 0xD800 && code <= 0xDFFF);
    std::size_t taken = ok ? length : 1;
    out.push_back(s.substr(at, taken));
    at += taken;
  }
  return out;
}

unsigned CodePoint(std::string_view c) {
  unsigned lead = static_cast<unsigned char>(c[0]);
  if (c.size() == 1)
    return lead;
  unsigned code = c.size() == 4 ? lead & 0x07 : c.size() == 3 ? lead & 0x0F : lead & 0x1F;
  for (std::size_t i = 1; i < c.size(); ++i)
    code = code << 6 | (static_cast<unsigned char>(c[i]) & 0x3F);
  return code;
}

// Letters in either case, by the letters' own capitals; a stray byte is equal only to itself.
bool SameIgnoringCase(std::string_view a, std::string_view b) {
  if (a == b)
    return true;
  bool stray_a = a.size() == 1 && static_cast<unsigned char>(a[0]) >= 0x80;
  bool stray_b = b.size() == 1 && static_cast<unsigned char>(b[0]) >= 0x80;
  return !stray_a && !stray_b && UpperCaseLetter(CodePoint(a)) == UpperCaseLetter(CodePoint(b));
}

// The rules. "*.*" alone takes every name. Otherwise: "?" takes one character other than a dot,
// or nothing when it stands at a dot or at the end of the name. A "." followed by nothing, "?"
// or "*" takes a dot or the end of the name; any other "." takes a dot. A "*" followed by "."
// takes any characters but the name's last dot; any other "*" takes anything. Every other mask
// character takes itself, letters in either case.
struct Reference {
  std::vector<std::string_view> mask, name;
  std::size_t last_dot;
  std::vector<signed char> memo;

  bool At(std::size_t m, std::size_t n) {
    signed char& known = memo[m * (name.size() + 1) + n];
    if (known < 0)
      known = Decide(m, n) ? 1 : 0;
    return known == 1;
  }

  bool Decide(std::size_t m, std::size_t n) {
    if (m == mask.size())
      return n == name.size();
    std::string_view c = mask[m];
    std::string_view after = m + 1 < mask.size() ? mask[m + 1] : std::string_view{};
    bool at_end = n == name.size();
    bool at_dot = !at_end && name[n] == ".";
    if (c == "?")
      return at_end || at_dot ? At(m + 1, n) : At(m + 1, n + 1);
    if (c == "." && (after.empty() || after == "?" || after == "*"))
      return (at_dot && At(m + 1, n + 1)) || (at_end && At(m + 1, n));
    if (c == "*") {
      for (std::size_t k = n; k <= name.size(); ++k) {
        if (At(m + 1, k))
          return true;
        if (after == "." && k == last_dot)
          return false; // the last dot is never taken
      }
      return false;
    }
    return !at_end && SameIgnoringCase(c, name[n]) && At(m + 1, n + 1);
  }
};

bool ReferenceMatch(std::string_view mask, std::string_view name) {
  if (mask.empty() || name.empty())
    return mask.empty() && name.empty();
  if (mask == "*.*")
    return true;
  Reference r{Characters(mask), Characters(name), 0, {}};
  r.last_dot = r.name.size();
  for (std::size_t i = 0; i < r.name.size(); ++i)
    if (r.name[i] == ".")
      r.last_dot = i;
  r.memo.assign((r.mask.size() + 1) * (r.name.size() + 1), -1);
  return r.At(0, 0);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0 || size > 256)
    return 0;
  std::size_t mask_length = data[0] % 65;
  std::string_view rest(reinterpret_cast<const char*>(data + 1), size - 1);
  if (mask_length > rest.size())
    return 0;
  std::string_view mask = rest.substr(0, mask_length), name = rest.substr(mask_length);
  bool got = MatchesMask(mask, name), want = ReferenceMatch(mask, name);
  if (got != want) {
    std::fprintf(stderr, "mask \"%.*s\" name \"%.*s\": matcher %d, rules %d\n",
                 static_cast<int>(mask.size()), mask.data(), static_cast<int>(name.size()),
                 name.data(), got, want);
    std::abort();
  }

  // The mask as the option loop stores it: upper-cased character by character, with as many
  // characters as typed and none split, and taking exactly the names the typed mask takes.
  std::string upper = UpperCaseText(mask);
  std::vector<std::string_view> typed_chars = Characters(mask), upper_chars = Characters(upper);
  if (typed_chars.size() != upper_chars.size() || CountChars(upper) != typed_chars.size())
    std::abort();
  for (std::size_t i = 0; i < typed_chars.size(); ++i)
    if (!SameIgnoringCase(typed_chars[i], upper_chars[i]) ||
        (typed_chars[i].size() == 1) != (upper_chars[i].size() == 1))
      std::abort();
  if (MatchesMask(upper, name) != got) {
    std::fprintf(stderr, "mask \"%.*s\" upper-cased takes other names\n",
                 static_cast<int>(mask.size()), mask.data());
    std::abort();
  }
  // Never cut: a mask is accepted only whole, and stored as it is.
  if (IsAcceptedMask(upper)) {
    if (typed_chars.size() > static_cast<std::size_t>(MaskCapacity) || !IsValidMask(upper))
      std::abort();
    SetMask(upper);
    if (MaskText() != upper)
      std::abort();
  } else if (typed_chars.size() <= static_cast<std::size_t>(MaskCapacity) && IsValidMask(upper)) {
    std::abort();
  }
  return 0;
}
