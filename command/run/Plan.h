// Planning a run: the marks of the preview, judged in run order, so that a
// preview says what the real run will leave and why. Every folder is listed,
// resolved and examined once however many files it holds: on a network share
// each look is a round trip.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "Collect.h"
#include "PathText.h"
#include "Text.h"

namespace host {

// The longest name: 255 bytes on the usual POSIX file systems, 255 UTF-16
// units (so 255 Windows-1251 characters) on Windows.
constexpr std::size_t kMaxNameLength = 255;

// Where the folder part of an 8-bit path ends, by the plug-in's rule.
std::size_t AnsiFolderLength(const std::string& ansiPath);

// Why Windows would refuse a file name (8-bit text): the first refused
// character or a reserved device name, described; empty when it is accepted.
std::string WindowsRefusal(std::string_view ansiName);

// Why a real run would leave a file where it is, judged in run order: a target
// that exists and is not vacated earlier in the run, or one that an earlier
// file of the run takes first.
enum class TBlock { None, Exists, Collision };

// The marks of one rename: why a real run leaves it, and what Windows refuses.
// Where the pattern names folders: the new path under the file's argument,
// whether that is where the file stands already, and the folders to make for
// it, outermost first.
struct TVerdict {
    bool stays = false;
    bool refused = false;
    std::vector<std::string> marks;
    std::string newPath;
    bool unchanged = false;
    std::vector<std::string> makes;
    void Stay(std::string mark) {
        marks.push_back(std::move(mark));
        stays = true;
    }
};

class TRunPlan {
public:
    // allowPosixNames: names Windows refuses are marked but taken where this system allows them.
    explicit TRunPlan(bool allowPosixNames = false) : allowPosixNames_(allowPosixNames) {}
    // Keys are paths in comparable form (NameKey).
    TBlock Check(const std::string& oldKey, const std::string& newKey, bool targetOnDisk) const;
    void Claim(const std::string& oldKey, std::string newKey);

    // A rename from oldPath (oldKey: the collector's) to the plug-in's newPath
    // (UTF-8, and the 8-bit texts the plug-in saw and gave), claimed unless it
    // stays. said: the marks of a name that says nothing (NameSense).
    TVerdict Judge(const std::string& oldPath, const std::string& oldKey, const std::string& ansiOld,
                   const std::string& ansiNew, const std::string& newPath, const TVerdict& said = {});
    // Why a move that the plug-in did not make failed, as far as the disk tells now.
    std::string WhyNotMoved(const std::string& path, const std::string& newPath);
    // A folder's listing the collector took (folder: as the run's paths name
    // it; keys: of every name it holds).
    void KnowFolder(const std::string& folder, std::vector<std::string> keys);

    // Where the pattern (UTF-8, as the user gave it) names folders: its text
    // between delimiters says which value left a folder's name empty.
    void OrganiseWith(const std::string& pattern);
    // A move of the file to ansiRelative (the plug-in's name after the file's
    // folder, 8-bit) under the file's argument, claimed with the folders it
    // needs unless it stays.
    TVerdict JudgeUnder(const TCollected& file, const std::string& ansiRelative, const TVerdict& said);
    // The path with its folder as the system resolves it (a folder the run
    // makes: from its parent's).
    std::string Resolved(const std::string& path);
    // A folder that could not be made after all: the next file tries again.
    void NotMade(const std::string& folder) { made_.erase(FolderKey(folder)); }
    // A path named on the command line: neither it nor a folder above it is ever removed.
    void Protect(const std::string& path);
    // A file moved (or, previewing, to be moved) out of folder, found under root.
    void Vacated(const std::string& folder, const std::string& root) { sources_.emplace(folder, root); }
    // The folders between the vacated ones and their arguments, deepest first:
    // the ones a run may find emptied.
    std::vector<std::string> EmptiedCandidates();
    // Previewing: whether the run would leave the folder empty, given the
    // moves claimed and the folders found emptied before it.
    bool WouldEmpty(const std::string& folder);

private:
    // Why names cannot be added to or taken from a folder; empty when they can.
    const std::string& FolderRefusal(std::string_view folder);
    // The folder of path (folder: ParentOf(path)) as the system resolves it
    // (links followed, ".." never dropped as text).
    const std::string& ResolvedFolder(std::string_view folder, const std::string& path);
    // A folder itself as the system resolves it: by a name inside it, for the look-up.
    const std::string& ResolvedFolderOf(const std::string& folder) { return ResolvedFolder(folder, JoinPath(folder, "x")); }
    std::string FolderKey(const std::string& folder) { return NameKey(ResolvedFolderOf(folder)); }
    // Whether a name stands at path by its folder's listing; the disk is asked
    // where the folder cannot be listed.
    bool TargetOnDisk(std::string_view folder, std::string_view name, const std::string& path, const std::string& key);
    // The entry of parent a folder name of a new path takes: as the disk or
    // the run's first file spells it (kind Missing when none stands there).
    const TFolderEntry& Spell(const std::string& parent, bool parentOnDisk, const std::string& name);
    std::uint64_t Volume(const std::string& folder);
    // The marks every rename ends with (ansiName: the new name, 8-bit); true when it goes ahead.
    bool Settle(TVerdict& verdict, std::string_view ansiName, const TVerdict& said, bool tooLong,
                const std::string& oldPath);

    struct TListing {
        bool listed = false;
        std::vector<std::string> keys;  // sorted
    };

    bool allowPosixNames_;
    TTextMap<std::string> refusals_;        // by folder
    TTextMap<std::string> resolvedFolders_;  // by folder as named
    TTextMap<TListing> listings_;            // by folder as named
    // The keys of the run's renames by the folder they lie in: a run takes a
    // folder's files together, so the tables it looks in stay in the cache
    // (the command's preview of the mixed library, warm: 13.1 µs a file with
    // one table for the whole run, 11.8 with these, 10% less).
    struct TClaims {
        std::unordered_set<std::string> claimed;  // the new names of the run's renames
        std::unordered_set<std::string> vacated;  // the old names they leave
    };
    TTextMap<TClaims> claims_;
    // Those of the key's folder (none yet: empty ones).
    const TClaims& ClaimsOf(std::string_view key) const;
    TClaims& ClaimsToAdd(std::string_view key);

    std::vector<std::string> patternFolders_;
    // By folder, then folded name: its entries in name order, down to the one
    // taken once a new path has asked for that name.
    std::unordered_map<std::string, std::unordered_map<std::string, std::vector<TFolderEntry>>> children_;
    // Keys of the folders the run makes, however the arguments spell them.
    std::unordered_set<std::string> made_;
    std::unordered_set<std::string> arrivals_;        // keys of folders that receive a file or folder
    std::unordered_set<std::string> emptied_;         // keys of folders found emptied (previewing)
    std::unordered_map<std::string, std::uint64_t> volumes_;  // by folder
    std::map<std::string, std::string> sources_;      // vacated folders and their arguments
    std::unordered_set<std::string> protected_;       // keys of the arguments and the folders above them
};

}  // namespace host
