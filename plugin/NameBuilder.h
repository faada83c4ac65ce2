// The name builder: fills the pattern with a file's audio properties and tag
// values and works out the new path; the rename itself is the caller's.
#pragma once

#include <string>

struct PluginOptions;

namespace pelmora {

// Replaces every occurrence of search, compared by the ANSI letter-case rules,
// leftmost first and without overlap; true when anything was replaced.
bool ReplaceAllIgnoreCase(std::string& text, const std::string& search, const std::string& replacement);

// The new path for one file (preview: the audio and tag of previewPath are
// read). Returns false, leaving newPath alone, when the file is not an .mp3.
bool BuildNewPath(const std::string& oldPath, const std::string& sourcePath, const PluginOptions& options,
                  std::string& newPath);

}  // namespace pelmora
