// Collecting the files of a run from its arguments: files as named, folders
// listed in name order (with -r, their subfolders after them), each file once
// however it is named (by its folder as the system resolves it).
#pragma once

#include <functional>
#include <map>
#include <string>
#include <unordered_set>
#include <vector>

#include "Report.h"
#include "System.h"

namespace host {

// The ';'-separated masks of the plug-in's descriptor: "*" and "?" wildcards,
// ASCII letters in any case.
class TMasks {
public:
    explicit TMasks(const std::string& masks);
    bool Match(const std::string& name) const;

private:
    std::vector<std::string> upper_;  // in ASCII upper case, as names are compared
};

// A file of the run: its path as the run names it, and its key, the path in
// the form the run plan compares (NameKey of its resolved folder and name).
// root: the argument it was found through (a folder named, or a named
// file's own folder), under which a pattern's folders are made.
struct TCollected {
    std::string path;
    std::string key;
    std::string root;
};

class TCollector {
public:
    // Entries left out are reported (Failed or Skipped) through tell.
    TCollector(std::string mask, bool recursive, std::function<void(const TFileReport&)> tell)
        : mask_(std::move(mask)), masks_(mask_), recursive_(recursive), tell_(std::move(tell)) {}

    void Add(const std::string& argument);
    const std::vector<TCollected>& Files() const { return files_; }
    // Told of every listed folder that gave the run a file (folder: as the
    // files' paths name it), with the keys of every name it holds, so that the
    // plan need not list and key it again.
    using TListed = std::function<void(const std::string& folder, std::vector<std::string> keys)>;
    void OnListed(TListed listed) { listed_ = std::move(listed); }

private:
    // The file's key, whether the file is new to the run or not.
    std::string AddFile(std::string path, const std::string& resolvedFolder, const std::string& name,
                        const std::string& root);
    // A folder's entries in name order, looked at before the walk reaches
    // it: what the listing could not tell is examined and told in the entry,
    // or, where it could not be examined, why (by entry).
    struct TLook {
        bool listed = false;
        std::string error;
        std::vector<TFolderEntry> entries;
        std::vector<std::string> examineErrors;
    };
    // The looks of folder and, with -r, of every folder the walk will enter.
    void LookInto(const std::string& folder);
    void AddFolder(const std::string& folder, const std::string& root);
    void SkipLink(const std::string& path, TFileKind target);
    void Tell(const std::string& path, TFileResult result, const std::string& reason);

    std::string mask_;
    TMasks masks_;
    bool recursive_;
    std::function<void(const TFileReport&)> tell_;
    TListed listed_;
    std::vector<TCollected> files_;
    std::unordered_set<std::string> keys_;  // of files_, to take each file once
    std::unordered_set<std::string> told_;  // paths of the entries left out
    std::map<std::string, TLook> looks_;    // by folder, as the walk names it
};

}  // namespace host
