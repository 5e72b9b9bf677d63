// Telling files apart by their names' endings, whatever the case (".WAV" as ".wav").
#pragma once

#include <cctype>
#include <string_view>

// True when `s` ends with `suffix` (given in lower case), letters compared without case.
inline bool endsWithNoCase(std::string_view s, std::string_view suffix) {
  if (s.size() < suffix.size()) return false;
  const std::string_view tail = s.substr(s.size() - suffix.size());
  for (std::size_t i = 0; i < suffix.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(tail[i])) != suffix[i]) return false;
  return true;
}
