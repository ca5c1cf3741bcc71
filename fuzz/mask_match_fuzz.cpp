// The mask matcher against a plain recursive matcher written from the matching rules alone:
// the first byte gives the mask's length (0 to 16), the rest of the input is mask then name.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "platform/wildcard.h"

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

bool SameIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size())
    return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'a' && x <= 'z')
      x = static_cast<char>(x - 32);
    if (y >= 'a' && y <= 'z')
      y = static_cast<char>(y - 32);
    if (x != y)
      return false;
  }
  return true;
}

// The rules. "*.*" alone takes every name. Otherwise: "?" takes one character other than a dot,
// or nothing when it stands at a dot or at the end of the name. A "." followed by nothing, "?"
// or "*" takes a dot or the end of the name; any other "." takes a dot. A "*" followed by "."
// takes any characters but the name's last dot; any other "*" takes anything. Every other mask
// character takes itself, ASCII letters in either case.
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
  std::size_t mask_length = data[0] % 17;
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
  return 0;
}
