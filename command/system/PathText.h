// Paths as the command writes them: folders joined with this build's
// delimiter, and the folder and name of a path taken apart, as text alone.
#pragma once

#include <string>
#include <string_view>

#include "Paths.h"

namespace host {

inline bool IsWindowsBuild() { return kPathDelimiter == '\\'; }

// Delimiters that end a folder in a path this build's file system takes
// (Windows takes "/" too).
inline bool IsSlash(char c) { return c == kPathDelimiter || c == '/'; }

inline std::string JoinPath(std::string_view folder, std::string_view name) {
    std::string path;
    path.reserve(folder.size() + 1 + name.size());
    path = folder;
    if (!folder.empty() && !IsSlash(folder.back())) path += kPathDelimiter;
    path += name;
    return path;
}

// The index of the last delimiter before end, or npos for a bare name.
inline std::size_t LastSlash(std::string_view path, std::size_t end) {
    if (end == 0) return std::string::npos;
    return IsWindowsBuild() ? path.find_last_of("\\/", end - 1) : path.rfind('/', end - 1);
}

// ParentOf's text, within path.
inline std::string_view FolderPart(std::string_view path) {
    const std::size_t slash = LastSlash(path, path.size());
    if (slash == std::string::npos) return ".";
    return path.substr(0, slash == 0 ? 1 : slash);
}

inline std::string ParentOf(const std::string& path) { return std::string(FolderPart(path)); }

inline std::string WithoutTrailingSlash(std::string path) {
    while (path.size() > 1 && IsSlash(path.back())) path.pop_back();
    return path;
}

// Whether two paths are spelled alike but for runs of delimiters after their
// first character ("d//x" is "d/x"; a leading pair may name a share).
inline bool SameSpelling(std::string_view a, std::string_view b) {
    std::size_t i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        if (i > 0 && j > 0 && IsSlash(a[i]) && IsSlash(b[j])) {
            while (i < a.size() && IsSlash(a[i])) ++i;
            while (j < b.size() && IsSlash(b[j])) ++j;
        } else if (a[i++] != b[j++]) {
            return false;
        }
    }
    return i == a.size() && j == b.size();
}

// Whether folder lies below root, as text (both as the run names them).
inline bool Below(const std::string& folder, const std::string& root) {
    return !root.empty() && folder.size() > root.size() && folder.compare(0, root.size(), root) == 0 &&
           (IsSlash(root.back()) || IsSlash(folder[root.size()]));
}

// The last segment, trailing delimiters ignored.
inline std::string_view NamePart(std::string_view path) {
    std::size_t end = path.size();
    while (end > 1 && IsSlash(path[end - 1])) --end;
    const std::size_t slash = LastSlash(path, end);
    const std::size_t start = slash == std::string::npos ? 0 : slash + 1;
    return path.substr(start, end - start);
}

inline std::string NameOf(const std::string& path) { return std::string(NamePart(path)); }

}  // namespace host
