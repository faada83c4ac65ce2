// Planning a run: the marks of the preview, judged in run order, so that a
// preview says what the real run will leave and why.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "Collect.h"

namespace host {

// Where the folder part of an 8-bit path ends, by the plug-in's rule.
std::size_t AnsiFolderLength(const std::string& ansiPath);

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
    // Where the pattern names folders: the new path under the file's argument,
    // whether that is where the file stands already, and the folders to make
    // for it, outermost first.
    std::string newPath;
    bool unchanged = false;
    std::vector<std::string> makes;
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
    // said: the marks of a name that says nothing (NameSense), among the rest.
    TVerdict Judge(const std::string& oldPath, const std::string& oldKey, const std::string& ansiOld,
                   const std::string& ansiNew, const std::string& newPath, const TVerdict& said = {});

    // Why names cannot be added to or taken from a folder ("no folder F",
    // "cannot write in F: reason"); empty when they can. Asked once per folder.
    const std::string& FolderRefusal(const std::string& folder);
    // Why a move that the plug-in did not make failed, as far as the disk
    // tells now (what was learnt of folders is forgotten first).
    std::string WhyNotMoved(const std::string& path, const std::string& newPath);
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

    // Where the pattern (UTF-8, as the user gave it) names folders: its text
    // between delimiters says which value left a folder's name empty.
    void OrganiseWith(const std::string& pattern);
    // Judges a move of the file to ansiRelative (the plug-in's name after the
    // file's folder, 8-bit) under the file's argument, claiming it and the
    // folders it needs unless it stays.
    TVerdict JudgeUnder(const TCollected& file, const std::string& ansiRelative, const TVerdict& said);
    // The path with its folder as the system resolves it, the folder looked
    // up once (a folder the run makes: from its parent's).
    std::string Resolved(const std::string& path);
    // A folder that could not be made after all: the next file tries again.
    void NotMade(const std::string& folder) { made_.erase(folder); }
    // A path named on the command line: neither it nor a folder above it is
    // ever removed.
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
    // The folder of path (folder: ParentOf(path)) as the system resolves it
    // (links followed, ".." never dropped as text), looked up once per folder.
    const std::string& ResolvedFolder(const std::string& folder, const std::string& path);
    // Whether a name stands at path (in folder, named name; key: its key), by
    // its folder's listing, taken once per folder; the disk is asked where the
    // folder cannot be listed.
    bool TargetOnDisk(const std::string& folder, const std::string& name, const std::string& path, const std::string& key);

    // A folder of a new path, spelled as the disk or the run's first file
    // spells it, and what stands there now.
    struct TSpelled {
        std::string path;
        TFileKind kind = TFileKind::Missing;
        bool link = false;
    };
    const TSpelled& Spell(const std::string& parent, bool parentOnDisk, const std::string& name);
    // A folder's entries as first listed, by name and by folded name (the first in name order).
    struct TChildren {
        std::unordered_map<std::string, TFolderEntry> byName;
        std::unordered_map<std::string, std::string> firstByFolded;
    };
    const TChildren& ChildrenOf(const std::string& folder);
    // The folders of a new path spelled, those to make added to the verdict:
    // the folder it ends in, whether that stands now, and the deepest one that
    // does (where the new ones would be made; not one an earlier file makes).
    struct TFolderWay {
        std::string folder;
        bool onDisk = true;
        std::string standing;
    };
    TFolderWay SpellFolders(const TCollected& file, const std::vector<std::string>& segments, TVerdict& verdict);
    // Why a segment of the new path is refused (stays), or is one Windows refuses (windows).
    void JudgeSegment(const std::string& ansi, std::size_t index, bool last, const TCollected& file, TVerdict& verdict,
                      bool& windows);
    std::uint64_t Volume(const std::string& folder);
    // A folder as the system resolves it, looked up once; its key.
    const std::string& ResolvedFolderOf(const std::string& folder);
    std::string FolderKey(const std::string& folder);

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

    std::vector<std::string> patternFolders_;
    std::unordered_map<std::string, TSpelled> spellings_;  // by parent and folded name
    std::unordered_map<std::string, TChildren> children_;  // of folders on disk, by folder
    std::unordered_set<std::string> made_;            // folders the run makes, as spelled
    std::unordered_set<std::string> arrivals_;        // keys of folders that receive a file or folder
    std::unordered_set<std::string> emptied_;         // keys of folders found emptied (previewing)
    std::unordered_map<std::string, std::uint64_t> volumes_;  // by folder
    std::map<std::string, std::string> sources_;      // vacated folders and their arguments
    std::unordered_set<std::string> protected_;       // keys of the arguments and the folders above them
};

}  // namespace host
