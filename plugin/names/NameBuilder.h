// The name builder: fills the pattern with a file's audio properties and tag
// values and works out the new path; the rename itself is the caller's.
#pragma once

#include <string>
#include <string_view>

#include "PelmoraConstants.h"

namespace pelmora {

// Replaces every occurrence of search, compared by the ANSI letter-case rules,
// leftmost first and without overlap; true when anything was replaced.
bool ReplaceAllIgnoreCase(std::string& text, std::string_view search, std::string_view replacement);

// The new path for one file (preview: the audio and tag of sourcePath are
// read): the pattern filled from the tag that tagSource selects (any other
// value selects none). Returns false, leaving newPath alone, when the file is
// not an .mp3.
bool BuildNewPath(const std::string& oldPath, const std::string& sourcePath, std::string_view pattern,
                  TTagSource tagSource, std::string& newPath);

}  // namespace pelmora
