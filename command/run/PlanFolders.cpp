// The plan of a run whose pattern names folders: new paths built under each
// file's argument, their folders spelled, judged and claimed, and the folders
// the run empties.
#include <algorithm>
#include <utility>

#include "PathText.h"
#include "PelmoraConstants.h"
#include "Plan.h"
#include "Text.h"
#include "Utf8.h"
#include "platform.h"

namespace host {

namespace {

// The paths MoveFileA and most Windows programs take are shorter than this.
constexpr std::size_t kMaxPathUnits = 260;

// Folder names compared as Windows compares them, on both systems, so that a
// library organised on one opens the same on the other.
// A name the code page cannot hold is folded in ASCII alone, kept apart by a last byte.
std::string Folded(const std::string& utf8) {
    std::string ansi;
    if (!platform::Utf8ToAnsi(utf8, ansi)) return AsciiUpper(utf8).append(1, 'u');
    platform::ToUpperAnsi(ansi.data(), ansi.size());
    return ansi.append(1, 'a');
}

std::size_t Utf16Length(const std::string& utf8) {
    constexpr char32_t kLargestSingleUnit = 0xFFFF;
    std::size_t units = 0;
    for (std::size_t i = 0; i < utf8.size();) {
        const platform::TUtf8Sequence sequence = platform::NextUtf8(utf8, i);
        units += sequence.valid && sequence.codePoint > kLargestSingleUnit ? 2 : 1;
        i += sequence.length;
    }
    return units;
}

bool OnlyDotsAndSpaces(const std::string& text) {
    return std::all_of(text.begin(), text.end(), [](char c) { return c == '.' || c == ' '; });
}

std::vector<std::string> Segments(const std::string& text) {
    std::vector<std::string> segments(1);
    for (const char c : text) {
        if (c == '/' || c == '\\') {
            segments.emplace_back();
        } else {
            segments.back() += c;
        }
    }
    return segments;
}

}  // namespace

void TRunPlan::OrganiseWith(const std::string& pattern) {
    patternFolders_ = Segments(pattern);
    patternFolders_.pop_back();
}

std::string TRunPlan::Resolved(const std::string& path) {
    return JoinPath(ResolvedFolder(ParentOf(path), path), NameOf(path));
}

std::uint64_t TRunPlan::Volume(const std::string& folder) {
    const auto known = volumes_.find(folder);
    if (known != volumes_.end()) return known->second;
    TFileId id;
    return volumes_.emplace(folder, IdentityOf(folder, id) ? id.volume : 0).first->second;
}

const TFolderEntry& TRunPlan::Spell(const std::string& parent, bool parentOnDisk, const std::string& name) {
    auto [children, fresh] = children_.try_emplace(parent);
    if (fresh && parentOnDisk) {
        std::vector<TFolderEntry> entries;
        std::string error;
        if (!ListFolderEntries(parent, entries, error)) entries.clear();
        // In name order, so that of two spellings of one name the first is taken.
        std::sort(entries.begin(), entries.end(), [](const TFolderEntry& a, const TFolderEntry& b) { return a.name < b.name; });
        for (TFolderEntry& entry : entries) children->second[Folded(entry.name)].push_back(std::move(entry));
    }
    std::vector<TFolderEntry>& spellings = children->second[Folded(name)];
    if (spellings.empty()) spellings.push_back({name, TFileKind::Missing, false, true});
    if (spellings.size() > 1) {
        // The name as given where it stands, else the first that differs in letter case only.
        const auto exact = std::find_if(spellings.begin(), spellings.end(), [&](const TFolderEntry& e) { return e.name == name; });
        spellings = {exact != spellings.end() ? *exact : spellings.front()};
    }
    TFolderEntry& entry = spellings.front();
    if (!entry.known) {
        const TEntryInfo info = Examine(JoinPath(parent, entry.name));
        entry.kind = info.kind;
        entry.link = info.link;
        entry.known = true;
    }
    return entry;
}

TVerdict TRunPlan::JudgeUnder(const TCollected& file, const std::string& ansiRelative, const TVerdict& said) {
    TVerdict verdict;
    const std::vector<std::string> segments = Segments(ansiRelative);
    bool windows = false;  // a segment Windows refuses
    for (std::size_t i = 0; i < segments.size(); ++i) {
        const std::string& ansi = segments[i];
        const bool last = i + 1 == segments.size();
        const std::string utf8 = platform::AnsiToUtf8(ansi);
        if (OnlyDotsAndSpaces(ansi) && !last) {
            if (ansi == "..") {
                verdict.Stay("the pattern leads above " + file.root);
            } else if (ansi.empty() && i < patternFolders_.size()) {
                verdict.Stay("the folder name from \"" + patternFolders_[i] + "\" is empty");
            } else {
                verdict.Stay("the folder name \"" + utf8 + "\" is empty or only dots and spaces");
            }
        } else if (utf8.size() > kMaxNameLength) {
            verdict.Stay((last ? "a name of " : "a folder name of ") + std::to_string(utf8.size()) + " bytes (at most " +
                         std::to_string(kMaxNameLength) + ")");
        } else if (const std::string refusal = WindowsRefusal(ansi); !refusal.empty()) {
            verdict.marks.push_back("Windows refuses " + platform::AnsiToUtf8(refusal) +
                                    (last ? std::string() : " in the folder \"" + utf8 + "\""));
            windows = true;
        }
    }
    // The folders spelled: the one the new path ends in, whether it stands now,
    // and the deepest one that does (where new ones would be made).
    std::string folder = WithoutTrailingSlash(file.root), standing = folder;
    bool onDisk = true;
    for (std::size_t i = 0; i + 1 < segments.size(); ++i) {
        const std::string name = platform::AnsiToUtf8(segments[i]);
        if (verdict.stays) {
            (folder += kPathDelimiter) += name;  // as built, an empty name too
            continue;
        }
        const TFolderEntry& spelled = Spell(folder, onDisk, name);
        const std::string parent = std::exchange(folder, JoinPath(folder, spelled.name));
        // A folder yet to be made is resolved as its parent is, without asking the system.
        if (spelled.kind == TFileKind::Missing && resolvedFolders_.count(folder) == 0) {
            resolvedFolders_.emplace(folder, JoinPath(ResolvedFolder(parent, folder), NameOf(folder)));
        }
        if (spelled.link || (spelled.kind != TFileKind::Folder && spelled.kind != TFileKind::Missing)) {
            // A link could lead out of the library: it is never followed.
            verdict.Stay(folder + (spelled.link ? " is a link, not followed" : " is not a folder"));
        }
        onDisk = spelled.kind == TFileKind::Folder;
        if (onDisk) standing = folder;
        if (!onDisk && !verdict.stays && made_.count(FolderKey(folder)) == 0) verdict.makes.push_back(folder);
    }
    const std::string name = platform::AnsiToUtf8(segments.back());
    verdict.newPath = verdict.stays ? folder + kPathDelimiter + name : JoinPath(folder, name);
    // The folders are built from the argument without its trailing delimiters,
    // the file's path with them; only a path that stays holds an empty folder name.
    if (verdict.newPath == file.path || (!verdict.stays && SameSpelling(verdict.newPath, file.path))) {
        verdict.unchanged = true;
        return verdict;
    }
    const std::string resolvedNew = Resolved(verdict.newPath);
    std::string newKey = NameKey(resolvedNew);
    if (!verdict.stays) {
        const std::size_t units = Utf16Length(resolvedNew);
        if (units >= kMaxPathUnits) {
            verdict.marks.push_back("a path of " + std::to_string(units) + " characters (Windows takes fewer than " +
                                    std::to_string(kMaxPathUnits) + ")");
            windows = true;
        }
        const std::uint64_t volume = Volume(standing);
        if (volume != 0 && volume != Volume(ParentOf(file.path))) {
            verdict.Stay(standing + " is on another file system; nothing is copied");
        } else if (const std::string& refusal = FolderRefusal(standing); !refusal.empty()) {
            verdict.Stay(refusal);
        }
        const bool targetOnDisk = onDisk && TargetOnDisk(folder, name, verdict.newPath, newKey);
        switch (Check(file.key, newKey, targetOnDisk)) {
        case TBlock::Exists: verdict.Stay("exists already"); break;
        case TBlock::Collision: verdict.Stay("an earlier file takes this name"); break;
        case TBlock::None: break;
        }
        // Files of one run under arguments at other depths: a new path may be
        // a folder an earlier file goes into, or a folder to make an earlier file's new path.
        if (!verdict.stays && arrivals_.count(newKey) != 0) verdict.Stay("an earlier file goes into a folder of this name");
        for (std::size_t i = 0; i < verdict.makes.size() && !verdict.stays; ++i) {
            const std::string key = FolderKey(verdict.makes[i]);
            if (ClaimsOf(key).claimed.count(key) != 0) verdict.Stay(verdict.makes[i] + " is an earlier file's new name");
        }
    }
    if (windows) {
        verdict.refused = true;
        if (IsWindowsBuild() || !allowPosixNames_) verdict.stays = true;
    }
    if (!Settle(verdict, segments.back(), said, false, file.path)) {
        verdict.makes.clear();
        return verdict;
    }
    arrivals_.insert(FolderKey(folder));
    for (const std::string& made : verdict.makes) {
        made_.insert(FolderKey(made));
        arrivals_.insert(FolderKey(ParentOf(made)));
    }
    Claim(file.key, std::move(newKey));
    return verdict;
}

void TRunPlan::Protect(const std::string& path) {
    for (std::string key = FolderKey(path);; key = ParentOf(key)) {
        if (!protected_.insert(key).second || ParentOf(key) == key) break;
    }
}

std::vector<std::string> TRunPlan::EmptiedCandidates() {
    std::vector<std::string> candidates;
    for (const auto& [vacated, argument] : sources_) {
        const std::string root = WithoutTrailingSlash(argument);
        for (std::string folder = vacated; Below(folder, root); folder = ParentOf(folder)) {
            if (protected_.count(FolderKey(folder)) == 0) candidates.push_back(folder);
        }
    }
    const auto depth = [](const std::string& path) { return std::count_if(path.begin(), path.end(), IsSlash); };
    std::sort(candidates.begin(), candidates.end(), [&](const std::string& a, const std::string& b) {
        const auto da = depth(a), db = depth(b);
        return da != db ? da > db : a < b;
    });
    candidates.erase(std::unique(candidates.begin(), candidates.end()), candidates.end());
    return candidates;
}

bool TRunPlan::WouldEmpty(const std::string& folder) {
    const std::string resolved = ResolvedFolderOf(folder);
    const std::string key = NameKey(resolved);
    if (arrivals_.count(key) != 0) return false;
    std::vector<std::string> names;
    std::string error;
    if (!ListFolder(folder, names, error)) return false;
    for (const std::string& name : names) {
        const std::string child = NameKey(JoinPath(resolved, name));
        const TClaims& claims = ClaimsOf(child);
        const bool movedOut = claims.vacated.count(child) != 0 && claims.claimed.count(child) == 0;
        if (!movedOut && emptied_.count(child) == 0) return false;
    }
    emptied_.insert(key);
    return true;
}

}  // namespace host
