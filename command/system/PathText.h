// Paths as the command writes them: folders joined with this build's
// delimiter, and the folder and name of a path taken apart.
#pragma once

#include <string>
#include <string_view>

#include "Paths.h"

namespace host {

inline bool IsWindowsBuild() { return kPathDelimiter == '\\'; }

// Delimiters that end a folder in a path this build's file system takes
// (Windows takes "/" too).
inline bool IsSlash(char c) { return c == kPathDelimiter || c == '/'; }

// JoinPath into path, which keeps its room.
inline void JoinPathInto(std::string& path, const std::string& folder, std::string_view name) {
    path.assign(folder);
    if (!folder.empty() && !IsSlash(folder.back())) path += kPathDelimiter;
    path += name;
}

inline std::string JoinPath(const std::string& folder, std::string_view name) {
    std::string path;
    path.reserve(folder.size() + 1 + name.size());
    JoinPathInto(path, folder, name);
    return path;
}

// Where the folder part of a path ends: the index of its last delimiter
// before end, or npos for a bare name.
inline std::size_t LastSlash(const std::string& path, std::size_t end) {
    const std::string_view text(path.data(), end);
    if (!IsWindowsBuild()) {
        // Forward from slash to slash: a path has few, and long names between them.
        std::size_t last = std::string::npos;
        for (std::size_t at = text.find('/'); at != std::string::npos; at = text.find('/', at + 1)) last = at;
        return last;
    }
    for (std::size_t i = end; i > 0; --i) {
        if (IsSlash(text[i - 1])) return i - 1;
    }
    return std::string::npos;
}

inline std::string ParentOf(const std::string& path) {
    const std::size_t slash = LastSlash(path, path.size());
    if (slash == std::string::npos) return ".";
    return path.substr(0, slash == 0 ? 1 : slash);
}

// Whether ParentOf(path) == folder, without making it: path goes on from
// folder with a delimiter and a last segment (or is the root's own name).
inline bool IsParentOf(const std::string& folder, const std::string& path) {
    if (folder == ".") return LastSlash(path, path.size()) == std::string::npos;
    const std::size_t length = folder.size();
    if (path.size() < length || path.compare(0, length, folder) != 0) return false;
    std::size_t last = 0;  // the last delimiter of path, if folder is its parent
    if (length < path.size() && IsSlash(path[length])) {
        last = length;
    } else if (length != 1 || !IsSlash(path[0])) {
        return false;
    }
    const std::string_view rest = std::string_view(path).substr(last + 1);
    return IsWindowsBuild() ? rest.find_first_of("\\/") == std::string_view::npos
                            : rest.find('/') == std::string_view::npos;
}

// The last segment, trailing delimiters ignored.
inline std::string_view NameView(const std::string& path) {
    std::size_t end = path.size();
    while (end > 1 && IsSlash(path[end - 1])) --end;
    const std::size_t slash = LastSlash(path, end);
    const std::size_t start = slash == std::string::npos ? 0 : slash + 1;
    return std::string_view(path).substr(start, end - start);
}

inline std::string NameOf(const std::string& path) { return std::string(NameView(path)); }

}  // namespace host
