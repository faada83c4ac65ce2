// Collecting the files of a run from its arguments: files as named, folders
// listed in name order (with -r, their subfolders after them), each file once
// however it is named (by its folder as the system resolves it).
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "KeySet.h"
#include "Report.h"
#include "System.h"

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
    struct TMask {
        std::string upper;
        bool ending;  // "*" and a plain ending, as "*.MP3": only the ending needs comparing
    };
    std::vector<TMask> masks_;
};

class TCollector {
public:
    // Entries left out are reported (Failed or Skipped) through tell.
    TCollector(std::string mask, bool recursive, std::function<void(const TFileReport&)> tell)
        : mask_(std::move(mask)), masks_(mask_), recursive_(recursive), tell_(std::move(tell)) {}

    void Add(const std::string& argument);
    // No more arguments: the tables that told duplicates apart are given back
    // for the run's own; the files, their keys and the listings' keys stay.
    void Close() {
        known_.DropTables();
        others_.DropTables();
    }
    // Told of every listed folder that gave the run a file: the folder as
    // named, as the system resolves it, and the keys of every name it held,
    // which stay put as long as the collector lives.
    using TListed = std::function<void(const std::string& folder, const std::string& resolved,
                                       const std::vector<THashedKey>& keys)>;
    void OnListed(TListed listed) { listed_ = std::move(listed); }
    // The files' paths, which stay put as long as the collector lives.
    const std::vector<std::string_view>& Files() const { return files_; }
    // Each file's path in the form the run plan compares, in
    // the order of Files: the folder as the system resolves
    // it and the name, compared as NameKey compares.
    const std::vector<THashedKey>& Keys() const { return keys_; }

private:
    // resolvedFolder: the file's folder as the system resolves it (links
    // followed, ".." as the system takes it), which tells duplicates apart;
    // name: the file's own, the last segment of path.
    // The file's key, which stays put as long as the collector lives.
    THashedKey AddFile(std::string_view path, const std::string& resolvedFolder, std::string_view name);
    void AddFolder(const std::string& folder);
    void SkipLink(const std::string& path, TFileKind target);
    void Tell(const std::string& path, TFileResult result, const std::string& reason);

    std::string mask_;
    TMasks masks_;
    bool recursive_;
    std::function<void(const TFileReport&)> tell_;
    TListed listed_;
    std::vector<std::string_view> files_;  // paths_'s copies
    TTextPool paths_;
    std::vector<THashedKey> keys_;  // known_'s copies
    TFolderKeySet known_;
    TFolderKeySet others_;  // the keys of the names in listed folders that are not files of the run
    std::string key_;  // the key being made, its room kept from file to file
};

}  // namespace host
