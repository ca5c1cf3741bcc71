// The command-line splitter on any line, and back: the words it finds, quoted again so that each
// blank and quote survives, must split into the very same words. And a single quote that no later
// one closes keeps its character: on a line without double quotes or doubled single quotes, the
// single quotes pair up from the left and are dropped, and an odd last one stays in its word.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "platform/dos/command_line.h"

namespace {

// A blank goes inside double quotes, a double quote inside single quotes and a single quote
// inside double quotes; everything else stands as it is. An empty word is a doubled quote.
std::string Quoted(const std::string& word) {
  if (word.empty())
    return "\"\"";
  std::string out;
  for (char c : word) {
    auto code = static_cast<unsigned char>(c);
    if (c == '"')
      out += "'\"'";
    else if (c == '\'')
      out += "\"'\"";
    else if (code >= 1 && code <= 32)
      out += std::string("\"") + c + "\"";
    else
      out += c;
  }
  return out;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view line(reinterpret_cast<const char*>(data), size);
  std::vector<std::string> words = SplitCommandLine(line);
  std::size_t total = 0;
  for (const std::string& word : words) {
    total += word.size();
    if (word.find('\0') != std::string::npos)
      std::abort(); // the line ends at its first NUL
  }
  if (total > size)
    std::abort();
  std::string again = "vakrun.exe";
  for (const std::string& word : words)
    again += " " + Quoted(word);
  if (SplitCommandLine(again) != words) {
    std::fprintf(stderr, "words of %zu bytes do not survive quoting\n", size);
    std::abort();
  }

  std::string plain = "prog ";
  for (std::size_t i = 0; i < size && line[i] != '\0'; ++i) {
    char c = line[i] == '"' ? 'd' : line[i];
    if (c == '\'' && plain.back() == '\'')
      plain += 'q';
    plain += c;
  }
  std::size_t quotes = 0, kept = 0;
  for (char c : plain)
    quotes += c == '\'';
  for (const std::string& word : SplitCommandLine(plain))
    for (char c : word)
      kept += c == '\'';
  if (kept != quotes % 2) {
    std::fprintf(stderr, "%zu single quotes, %zu kept\n", quotes, kept);
    std::abort();
  }
  return 0;
}
