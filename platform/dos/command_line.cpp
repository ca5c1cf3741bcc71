// Splitting of the command line with the DOS quote rules. Nothing is cut short: a word may be
// longer than 255 characters and there may be any number of words.
#include "platform/dos/command_line.h"

#include <cstddef>
#include <utility>

namespace {

// Codes 1 to 32 separate words; code 0 ends the line, as it ends a C string.
bool IsBlank(char c) {
  auto code = static_cast<unsigned char>(c);
  return code >= 1 && code <= 32;
}

// Whether a single quote at `at` opens a run that a later one closes. A doubled quote inside the
// run belongs to it, as the splitting below reads it.
bool SingleQuoteCloses(std::string_view line, std::size_t at) {
  for (std::size_t i = at + 1; i < line.size(); ++i) {
    if (line[i] != '\'')
      continue;
    if (i + 1 < line.size() && line[i + 1] == '\'')
      ++i;
    else
      return true;
  }
  return false;
}

} // namespace

std::vector<std::string> SplitCommandLine(std::string_view line) {
  line = line.substr(0, line.find('\0'));
  std::vector<std::string> words;
  std::size_t at = 0;
  bool program_name = true;
  while (true) {
    while (at < line.size() && IsBlank(line[at]))
      ++at;
    if (at == line.size())
      break;
    std::string word;
    char quote = 0; // the quote character of the run we are in, 0 outside quotes
    for (; at < line.size(); ++at) {
      char c = line[at];
      if (quote == 0 && IsBlank(c))
        break;
      // A quote opens or closes a run unless we are inside the other kind of quote; a doubled
      // quote is dropped without changing anything.
      if ((c == '"' || c == '\'') && (quote == 0 || quote == c)) {
        if (at + 1 < line.size() && line[at + 1] == c)
          ++at;
        else if (c == '\'' && quote == 0 && !SingleQuoteCloses(line, at))
          word += c; // an apostrophe ("it's"): dropping it would name another entry
        else
          quote = quote == 0 ? c : 0;
        continue;
      }
      word += c;
    }
    // The first word is the program name as typed; the program knows its own path otherwise.
    if (program_name)
      program_name = false;
    else
      words.push_back(std::move(word));
  }
  return words;
}
