// Paths as the command writes them: folders joined with this build's
// delimiter, and the folder and name of a path taken apart.
#pragma once

#include <string>

#include "HostSystem.h"

namespace host {

inline bool IsWindowsBuild() { return kPathDelimiter == '\\'; }

// Delimiters that end a folder in a path this build's file system takes
// (Windows takes "/" too).
inline bool IsSlash(char c) { return c == kPathDelimiter || c == '/'; }

inline std::string JoinPath(const std::string& folder, const std::string& name) {
    if (folder.empty()) return name;
    if (IsSlash(folder.back())) return folder + name;
    return folder + kPathDelimiter + name;
}

inline std::string ParentOf(const std::string& path) {
    for (std::size_t i = path.size(); i > 0; --i) {
        if (IsSlash(path[i - 1])) return i == 1 ? path.substr(0, 1) : path.substr(0, i - 1);
    }
    return ".";
}

// The last segment, trailing delimiters ignored.
inline std::string NameOf(const std::string& path) {
    std::size_t end = path.size();
    while (end > 1 && IsSlash(path[end - 1])) --end;
    std::size_t start = end;
    while (start > 0 && !IsSlash(path[start - 1])) --start;
    return path.substr(start, end - start);
}

}  // namespace host
