// Collecting the files of a run from its arguments: files as named, folders
// listed in name order (with -r, their subfolders after them), each file once
// however it is named (by its folder as the system resolves it).
#pragma once

#include <deque>
#include <functional>
#include <unordered_set>
#include <string>
#include <string_view>
#include <vector>

#include "HostReport.h"
#include "HostSystem.h"

namespace host {

// Whether a file name matches one of the ';'-separated masks ("*" and "?"
// wildcards, ASCII letters in any case).
bool MatchesMask(const std::string& name, const std::string& masks);

// The masks taken apart once, for a run that matches every name it lists.
class TMasks {
public:
    explicit TMasks(const std::string& masks);
    bool Match(const std::string& name) const;

private:
    std::vector<std::string> upper_;
};

class TCollector {
public:
    // Entries left out are reported (Failed or Skipped) through tell.
    TCollector(std::string mask, bool recursive, std::function<void(const TFileReport&)> tell)
        : mask_(std::move(mask)), masks_(mask_), recursive_(recursive), tell_(std::move(tell)) {}

    void Add(const std::string& argument);
    const std::vector<std::string>& Files() const { return files_; }
    // Each file's path in the form the run plan compares, in
    // the order of Files: the folder as the system resolves
    // it and the name, compared as NameKey compares.
    const std::deque<std::string>& Keys() const { return keys_; }

private:
    // resolvedFolder: the file's folder as the system resolves it (links
    // followed, ".." as the system takes it), which tells duplicates apart;
    // name: the file's own, the last segment of path.
    void AddFile(const std::string& path, const std::string& resolvedFolder, const std::string& name);
    void AddFolder(const std::string& folder);
    void SkipLink(const std::string& path, TFileKind target);
    void Tell(const std::string& path, TFileResult result, const std::string& reason);

    std::string mask_;
    TMasks masks_;
    bool recursive_;
    std::function<void(const TFileReport&)> tell_;
    std::vector<std::string> files_;
    std::deque<std::string> keys_;  // a deque: known_ views its strings, which must stay put
    std::unordered_set<std::string_view> known_;
};

}  // namespace host
