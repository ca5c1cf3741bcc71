// Only code for POSIX systems: looks at entries and the changes of their attributes.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <sys/stat.h>

struct Place;
struct LeftDirectory;

// The DOS attribute word of an entry from its status and its Linux name.
std::uint32_t AttributesOf(const struct stat& status, std::string_view linux_name);

// Gives or takes read-only on the entry a place names and answers the system's real result;
// `expected` is the directory the walk has just left when the place names it.
std::uint32_t ApplyAttributes(const Place& place, std::uint16_t attributes,
                              const LeftDirectory* expected);

// True, once, when the attribute change has just looked at that name in the current directory
// and found there the directory the walk has just left.
bool LookedAtAsLeft(const std::string& linux_name);

// True, once, when the file of that bare DOS name in the current directory (a password after it
// is ignored) was erased ahead of its erase by the attribute change; ForgetErasedAhead drops that
// fact.
bool WasErasedAhead(std::string_view path);
void ForgetErasedAhead();
