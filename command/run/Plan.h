// Planning a run: the marks of the preview, judged in run order, so that a
// preview says what the real run will leave and why.
#pragma once

#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "KeySet.h"

namespace host {

// Why Windows would refuse a file name (8-bit text): the first refused
// character or a reserved device name, described; empty when it is accepted.
std::string WindowsRefusal(std::string_view ansiName);

// Why a real run would leave a file where it is, judged in run order: a target
// that exists and is not vacated earlier in the run, or one that an earlier
// file of the run takes first. Keys are paths in comparable form.
enum class TBlock { None, Exists, Collision };

// The marks of one rename: why a real run leaves it, and what Windows refuses.
struct TVerdict {
    bool stays = false;
    bool refused = false;  // a name Windows refuses
    std::vector<std::string> marks;
};

class TRunPlan {
public:
    // allowPosixNames: names Windows refuses are marked but taken where this system allows them.
    explicit TRunPlan(bool allowPosixNames = false) : allowPosixNames_(allowPosixNames) {}
    TRunPlan(const TRunPlan&) = delete;  // it keeps iterators into its own maps
    TRunPlan& operator=(const TRunPlan&) = delete;
    TBlock Check(std::string_view oldKey, std::string_view newKey, bool targetOnDisk) const {
        return Check(oldKey, newKey, TKeySet::Hash(newKey), targetOnDisk);
    }
    // Records a rename that the run will make. oldKey must outlive the plan.
    void Claim(std::string_view oldKey, std::string_view newKey) {
        Claim({oldKey, TKeySet::Hash(oldKey)}, newKey, TKeySet::Hash(newKey));
    }

    // Judges a rename from oldPath to the plug-in's newPath (UTF-8, and the
    // 8-bit texts the plug-in saw and gave), claiming it unless it stays.
    // oldKey: oldPath's Key, which the collector has already made; like Claim's
    // oldKey it is kept where it is, so it must outlive the plan.
    TVerdict Judge(const std::string& oldPath, THashedKey oldKey, const std::string& ansiOld,
                   const std::string& ansiNew, const std::string& newPath);

    // Why names cannot be added to or taken from a folder ("no folder F",
    // "cannot write in F: reason"); empty when they can. Asked once per folder.
    const std::string& FolderRefusal(const std::string& folder);
    // FolderRefusal of the folder of path, without making its name when it was the last one asked.
    const std::string& RefusalOfFolderOf(const std::string& path);
    // A folder's listing taken already (folder as named, resolved as the system
    // resolves it), so that the plan need not list it again. keys: of every
    // name the folder held, kept where they are (they must outlive the plan).
    void KnowFolder(const std::string& folder, const std::string& resolved, const std::vector<THashedKey>& keys);
    // Forgets what was learnt of folders, when the disk may have changed.
    void ForgetFolders() {
        folders_.clear();
        lastRefusal_ = folders_.end();
        listings_.clear();
        lastListing_ = listings_.end();
    }

private:
    // A path (whose last segment is name) in comparable form, its folder as the
    // system resolves it (links followed, ".." never dropped as text), looked
    // up once per folder. Valid until the next call.
    const std::string& Key(const std::string& path, std::string_view name);
    // The folder of path as the system resolves it, looked up once per folder.
    const std::string& ResolvedFolder(const std::string& path);
    // Whether a name stands at path (key: its Key), by its folder's listing,
    // taken once per folder; the disk is asked where the folder cannot be listed.
    bool TargetOnDisk(const std::string& path, std::string_view key, std::uint64_t hash);
    // Check and Claim with newKey's hash made once.
    TBlock Check(std::string_view oldKey, std::string_view newKey, std::uint64_t newHash, bool targetOnDisk) const;
    void Claim(THashedKey oldKey, std::string_view newKey, std::uint64_t newHash);

    struct TListing {
        bool listed = false;
        TKeySet keys;
        // A listing the collector took: its keys go into keys when the folder
        // is first asked about, so that the table is fresh in the cache then.
        std::vector<THashedKey> waiting;
    };

    bool allowPosixNames_;
    using TFolderMap = std::map<std::string, std::string>;
    TFolderMap folders_;
    TFolderMap::const_iterator lastRefusal_ = folders_.end();
    TFolderMap resolvedFolders_;
    TFolderMap::const_iterator lastResolved_ = resolvedFolders_.end();
    std::map<std::string, TListing> listings_;
    std::map<std::string, TListing>::iterator lastListing_ = listings_.end();
    TFolderKeySet claimed_;
    TFolderKeySet vacated_;
    std::string key_;  // Key's, its room kept from file to file
};

}  // namespace host
