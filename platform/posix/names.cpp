// Only code for POSIX systems.
#include "platform/posix/names.h"

#include <array>
#include <cstring>

namespace {

// The three bytes of U+F0xx are EF, 80 | (xx >> 6), 80 | (xx & 3F).
constexpr char Lead = '\xEF';

bool IsPrivate(std::string_view text, std::size_t i, unsigned low) {
  return i + 2 < text.size() && text[i] == Lead &&
         static_cast<unsigned char>(text[i + 1]) == (0x80 | (low >> 6)) &&
         static_cast<unsigned char>(text[i + 2]) == (0x80 | (low & 0x3F));
}

void AppendPrivate(std::string& out, unsigned low) {
  out += Lead;
  out += static_cast<char>(0x80 | (low >> 6));
  out += static_cast<char>(0x80 | (low & 0x3F));
}

constexpr unsigned Escape = 0x00;

// Which private characters a literal needs the escape for.
bool IsMappedPrivate(std::string_view text, std::size_t i) {
  return IsPrivate(text, i, Escape) || IsPrivate(text, i, '\\') || IsPrivate(text, i, ':') ||
         IsPrivate(text, i, ';');
}

std::string Encode(std::string_view text, bool all_reserved) {
  std::string out;
  out.reserve(text.size() + 8);
  for (std::size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (c == Lead && IsMappedPrivate(text, i)) {
      AppendPrivate(out, Escape);
      out.append(text.substr(i, 3));
      i += 2;
    } else if (c == ';' || (all_reserved && (c == '\\' || c == ':'))) {
      AppendPrivate(out, static_cast<unsigned char>(c));
    } else {
      out += c;
    }
  }
  return out;
}

} // namespace

bool IsPlainText(std::string_view text) {
  return text.find(Lead) == std::string_view::npos;
}

namespace {

// The bytes a name or an argument maps, looked up in a table rather than searched for as a set,
// which costs a call per character: every listed name passes here.
enum : unsigned char { MappedInArguments = 1, MappedInNames = 2 };
constexpr auto Mapped = [] {
  std::array<unsigned char, 256> table{};
  table[static_cast<unsigned char>(';')] = MappedInArguments | MappedInNames;
  table[static_cast<unsigned char>(Lead)] = MappedInArguments | MappedInNames;
  table[static_cast<unsigned char>('\\')] = MappedInNames;
  table[static_cast<unsigned char>(':')] = MappedInNames;
  return table;
}();

bool Holds(std::string_view text, unsigned char kind) {
  for (char c : text)
    if ((Mapped[static_cast<unsigned char>(c)] & kind) != 0)
      return true;
  return false;
}

} // namespace

std::string EncodeName(std::string_view linux_name) {
  if (!Holds(linux_name, MappedInNames))
    return std::string(linux_name);
  return Encode(linux_name, true);
}

std::string_view EncodedName(std::string_view linux_name, std::string& buffer) {
  if (!Holds(linux_name, MappedInNames))
    return linux_name;
  buffer = Encode(linux_name, true);
  return buffer;
}

std::string EncodeArgument(std::string_view argument) {
  if (!Holds(argument, MappedInArguments))
    return std::string(argument);
  return Encode(argument, false);
}

std::string DecodeName(std::string_view dos_name) {
  if (IsPlainText(dos_name))
    return std::string(dos_name);
  std::string out;
  out.reserve(dos_name.size());
  for (std::size_t i = 0; i < dos_name.size(); ++i) {
    if (IsPrivate(dos_name, i, Escape) && IsMappedPrivate(dos_name, i + 3)) {
      out.append(dos_name.substr(i + 3, 3));
      i += 5;
    } else if (IsPrivate(dos_name, i, '\\') || IsPrivate(dos_name, i, ':') ||
               IsPrivate(dos_name, i, ';')) {
      out += static_cast<char>((static_cast<unsigned char>(dos_name[i + 1]) & 0x03) << 6 |
                               (static_cast<unsigned char>(dos_name[i + 2]) & 0x3F));
      i += 2;
    } else {
      out += dos_name[i];
    }
  }
  return out;
}
