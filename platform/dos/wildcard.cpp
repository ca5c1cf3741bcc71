// The long-name matching of FindFirstFile: the mask is first rewritten into the DOS wildcards of
// the Windows name matcher (DOS star, DOS question mark, DOS dot), then run as a small state
// machine over the name, one character at a time. Each step keeps the set of mask positions that
// are still alive, so the work is at most (name length x mask length) whatever the mask holds.
#include "platform/dos/wildcard.h"

#include <algorithm>
#include <cstddef>
#include <vector>

#include "platform/dos/utf8_text.h"

namespace {

enum class Op { Literal, Star, DosStar, DosQm, DosDot };

struct MaskItem {
  Op op;
  std::string_view text; // the character, for Op::Literal
};

std::vector<std::string_view> SplitChars(std::string_view s) {
  std::vector<std::string_view> chars;
  ForEachChar(s, [&chars](std::string_view c) { chars.push_back(c); });
  return chars;
}

// The Win32 rewrite of a mask before the name matcher sees it. "*.*" as a whole means every name;
// otherwise a "." before a wildcard or at the end may also match the end of a name ("a.*" finds
// "a"), and a "*" before a "." stops at the name's last dot ("*.BAK").
std::vector<MaskItem> TranslateMask(std::string_view mask) {
  std::vector<MaskItem> items;
  if (mask == "*.*") {
    items.push_back({Op::Star, {}});
    return items;
  }
  std::vector<std::string_view> chars = SplitChars(mask);
  for (std::size_t i = 0; i < chars.size(); ++i) {
    std::string_view c = chars[i];
    std::string_view next = i + 1 < chars.size() ? chars[i + 1] : std::string_view{};
    if (c == "?")
      items.push_back({Op::DosQm, {}});
    else if (c == "." && (next.empty() || next == "?" || next == "*"))
      items.push_back({Op::DosDot, {}});
    else if (c == "*")
      items.push_back({next == "." ? Op::DosStar : Op::Star, {}});
    else
      items.push_back({Op::Literal, c});
  }
  return items;
}

// Follows the moves that use up no character of the name. They only ever go one position
// forward, so one pass from left to right reaches all of them.
void AddEmptyMoves(const std::vector<MaskItem>& items, std::vector<char>& alive, bool at_end,
                   bool at_dot) {
  for (std::size_t p = 0; p < items.size(); ++p) {
    if (!alive[p])
      continue;
    switch (items[p].op) {
    case Op::Star:
    case Op::DosStar:
      alive[p + 1] = 1;
      break;
    case Op::DosQm: // a "?" matches nothing at a dot or at the end of the name
      if (at_end || at_dot)
        alive[p + 1] = 1;
      break;
    case Op::DosDot: // a "." may match the end of the name
      if (at_end)
        alive[p + 1] = 1;
      break;
    case Op::Literal:
      break;
    }
  }
}

} // namespace

bool MatchesMask(std::string_view mask, std::string_view name) {
  // As the Windows matcher: an empty name or mask matches only its empty counterpart.
  if (mask.empty() || name.empty())
    return mask.empty() && name.empty();

  std::vector<MaskItem> items = TranslateMask(mask);
  std::vector<std::string_view> chars = SplitChars(name);
  std::size_t last_dot = chars.size();
  for (std::size_t i = 0; i < chars.size(); ++i)
    if (chars[i] == ".")
      last_dot = i;

  std::vector<char> alive(items.size() + 1, 0), next(items.size() + 1, 0);
  alive[0] = 1;
  for (std::size_t i = 0; i < chars.size(); ++i) {
    std::string_view c = chars[i];
    bool is_dot = c == ".";
    AddEmptyMoves(items, alive, false, is_dot);
    std::fill(next.begin(), next.end(), 0);
    bool any = false;
    for (std::size_t p = 0; p < items.size(); ++p) {
      if (!alive[p])
        continue;
      std::size_t to = p + 1; // where a match of one character leads
      bool matched = false;
      switch (items[p].op) {
      case Op::Star:
        to = p;
        matched = true;
        break;
      case Op::DosStar: // may take earlier dots, never the name's last one
        to = p;
        matched = i != last_dot;
        break;
      case Op::DosQm:
        matched = !is_dot;
        break;
      case Op::DosDot:
        matched = is_dot;
        break;
      case Op::Literal:
        matched = SameLetter(items[p].text, c);
        break;
      }
      if (matched) {
        next[to] = 1;
        any = true;
      }
    }
    if (!any)
      return false;
    alive.swap(next);
  }
  AddEmptyMoves(items, alive, true, false);
  return alive[items.size()] != 0;
}
