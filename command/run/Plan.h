// Planning a run: the marks of the preview, judged in run order, so that a
// preview says what the real run will leave and why.
#pragma once

#include <unordered_map>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

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
    // Keys are paths in comparable form (NameKey).
    TBlock Check(const std::string& oldKey, const std::string& newKey, bool targetOnDisk) const;
    // Records a rename that the run will make.
    void Claim(const std::string& oldKey, std::string newKey);

    // Judges a rename from oldPath (oldKey: its key, as the collector made it)
    // to the plug-in's newPath (UTF-8, and the 8-bit texts the plug-in saw and
    // gave), claiming it unless it stays.
    TVerdict Judge(const std::string& oldPath, const std::string& oldKey, const std::string& ansiOld,
                   const std::string& ansiNew, const std::string& newPath);

    // Why names cannot be added to or taken from a folder ("no folder F",
    // "cannot write in F: reason"); empty when they can. Asked once per folder.
    const std::string& FolderRefusal(const std::string& folder);
    // Room for the claims of a run of this many files.
    void Expect(std::size_t files) {
        claimed_.reserve(files);
        vacated_.reserve(files);
    }
    // A folder's listing taken already (folder: as the run's paths name it;
    // keys: of every name it holds), so that the plan need not take it again.
    void KnowFolder(const std::string& folder, std::vector<std::string> keys);
    // Forgets what was learnt of folders, when the disk may have changed.
    void ForgetFolders() {
        refusals_.clear();
        listings_.clear();
    }

private:
    // The folder of path (folder: ParentOf(path)) as the system resolves it
    // (links followed, ".." never dropped as text), looked up once per folder.
    const std::string& ResolvedFolder(const std::string& folder, const std::string& path);
    // Whether a name stands at path (in folder, named name; key: its key), by
    // its folder's listing, taken once per folder; the disk is asked where the
    // folder cannot be listed.
    bool TargetOnDisk(const std::string& folder, const std::string& name, const std::string& path, const std::string& key);

    struct TListing {
        bool listed = false;
        std::vector<std::string> keys;  // sorted
    };

    bool allowPosixNames_;
    std::unordered_map<std::string, std::string> refusals_;         // by folder
    std::unordered_map<std::string, std::string> resolvedFolders_;  // by folder as named
    std::unordered_map<std::string, TListing> listings_;            // by folder as named
    std::unordered_set<std::string> claimed_;  // the new names of the run's renames
    std::unordered_set<std::string> vacated_;  // the old names they leave
};

}  // namespace host
