// Collecting the files of a run.
#include "HostCollect.h"

#include <algorithm>

#include "HostPath.h"
#include "HostSystem.h"
#include "HostText.h"

namespace host {

namespace {

bool WildcardMatch(const std::string& text, const std::string& mask) {
    std::size_t t = 0, m = 0, starMask = std::string::npos, starText = 0;
    while (t < text.size()) {
        if (m < mask.size() && (mask[m] == '?' || mask[m] == text[t])) {
            ++t;
            ++m;
        } else if (m < mask.size() && mask[m] == '*') {
            starMask = m++;
            starText = t;
        } else if (starMask != std::string::npos) {
            m = starMask + 1;
            t = ++starText;
        } else {
            return false;
        }
    }
    while (m < mask.size() && mask[m] == '*') ++m;
    return m == mask.size();
}

std::string Normalised(std::string path) {
    if (IsWindowsBuild()) std::replace(path.begin(), path.end(), '/', '\\');
    return path;
}

}  // namespace

bool MatchesMask(const std::string& name, const std::string& masks) {
    const std::string upperName = AsciiUpper(name);
    std::size_t start = 0;
    while (start <= masks.size()) {
        std::size_t end = masks.find(';', start);
        if (end == std::string::npos) end = masks.size();
        std::string mask = masks.substr(start, end - start);
        mask.erase(0, mask.find_first_not_of(' '));
        mask.erase(mask.find_last_not_of(' ') + 1);
        if (!mask.empty() && WildcardMatch(upperName, AsciiUpper(mask))) return true;
        start = end + 1;
    }
    return false;
}

void TCollector::Tell(const std::string& path, TFileResult result, const std::string& reason) {
    TFileReport report;
    report.path = path;
    report.result = result;
    report.reason = reason;
    tell_(report);
}

void TCollector::AddFile(const std::string& path, const TFileId& id, const std::string& resolvedFolder) {
    std::string key;
    if (id.valid) {
        key = std::to_string(id.volume) + ':' + std::to_string(id.index);
    } else if (!resolvedFolder.empty()) {
        key = NameKey(JoinPath(resolvedFolder, NameOf(path)));
    } else {
        key = NameKey(ResolvedPath(path));
    }
    if (known_.insert(key).second) files_.push_back(path);
}

void TCollector::Add(const std::string& argument) {
    const std::string path = Normalised(argument);
    TFileId id;
    switch (KindOf(path, id)) {
    case TFileKind::Folder: AddFolder(path); break;
    case TFileKind::File:
        if (MatchesMask(NameOf(path), mask_)) {
            AddFile(path, id);
        } else {
            Tell(path, TFileResult::Skipped, "not a file the plug-in handles (" + mask_ + "); left alone");
        }
        break;
    case TFileKind::Missing:
        Tell(path, TFileResult::Failed, IsSymbolicLink(path) ? "a link to nothing" : "no such file or folder");
        break;
    case TFileKind::Other: Tell(path, TFileResult::Failed, "not a regular file; left alone"); break;
    }
}

void TCollector::AddFolder(const std::string& folder) {
    std::vector<std::string> names;
    std::string error;
    if (!ListFolder(folder, names, error)) {
        Tell(folder, TFileResult::Failed, "cannot read the folder: " + error);
        return;
    }
    std::sort(names.begin(), names.end());
    std::vector<std::string> subfolders;
    std::string resolved;  // looked up once per folder, only where no identity comes with the kind
    for (const std::string& name : names) {
        const std::string path = JoinPath(folder, name);
        const bool wanted = MatchesMask(name, mask_);
        TFileId id;
        switch (KindOf(path, id)) {
        case TFileKind::File:
            if (!wanted) break;
            if (!id.valid && resolved.empty()) resolved = ParentOf(ResolvedPath(path));
            AddFile(path, id, resolved);
            break;
        case TFileKind::Folder:
            if (recursive_) {
                // A linked folder could lead back into the tree.
                if (!IsSymbolicLink(path)) subfolders.push_back(path);
            } else if (wanted) {
                Tell(path, TFileResult::Skipped, "a folder, not a file; left alone (-r looks inside)");
            }
            break;
        case TFileKind::Missing:
            if (wanted) Tell(path, TFileResult::Failed, "a link to nothing");
            break;
        case TFileKind::Other:
            if (wanted) Tell(path, TFileResult::Failed, "not a regular file; left alone");
            break;
        }
    }
    for (const std::string& subfolder : subfolders) AddFolder(subfolder);
}

}  // namespace host
