// DOS wildcard masks matched against long names the way Windows does it: "*.*" matches every
// name, letter case is ignored (also beyond A to Z: "été*" finds "Été.txt"), "a.*" also finds "a",
// and a "?" before a dot or at the end may match nothing. Both builds select files with this one
// matcher.
#pragma once

#include <string_view>

bool MatchesMask(std::string_view mask, std::string_view name);
