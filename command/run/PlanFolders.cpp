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

// The longest name a segment may have: 255 bytes on the usual POSIX file
// systems (and so at most 255 UTF-16 units on Windows).
constexpr std::size_t kMaxSegmentBytes = 255;
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

const std::string& TRunPlan::ResolvedFolderOf(const std::string& folder) {
    return ResolvedFolder(folder, JoinPath(folder, "x"));  // a name inside it, for the look-up
}

std::string TRunPlan::FolderKey(const std::string& folder) { return NameKey(ResolvedFolderOf(folder)); }

std::uint64_t TRunPlan::Volume(const std::string& folder) {
    const auto known = volumes_.find(folder);
    if (known != volumes_.end()) return known->second;
    TFileId id;
    return volumes_.emplace(folder, IdentityOf(folder, id) ? id.volume : 0).first->second;
}

const TRunPlan::TSpelled& TRunPlan::Spell(const std::string& parent, bool parentOnDisk, const std::string& name) {
    const std::string folded = Folded(name);
    std::string key = parent + '\n' + folded;
    const auto known = spellings_.find(key);
    if (known != spellings_.end()) return known->second;
    TSpelled spelled {JoinPath(parent, name)};
    if (parentOnDisk) {
        const TChildren& children = ChildrenOf(parent);
        // The name as given where it stands; else the first one that differs in letter case only.
        auto match = children.byName.find(name);
        if (match == children.byName.end()) {
            const auto first = children.firstByFolded.find(folded);
            if (first != children.firstByFolded.end()) match = children.byName.find(first->second);
        }
        if (match != children.byName.end()) {
            const TFolderEntry& entry = match->second;
            spelled.path = JoinPath(parent, entry.name);
            spelled.kind = entry.kind;
            spelled.link = entry.link;
            if (!entry.known) {
                const TEntryInfo info = Examine(spelled.path);
                spelled.kind = info.kind;
                spelled.link = info.link;
            }
        }
    }
    return spellings_.emplace(std::move(key), std::move(spelled)).first->second;
}

const TRunPlan::TChildren& TRunPlan::ChildrenOf(const std::string& folder) {
    const auto known = children_.find(folder);
    if (known != children_.end()) return known->second;
    std::vector<TFolderEntry> entries;
    std::string error;
    if (!ListFolderEntries(folder, entries, error)) entries.clear();
    // In name order, so that of two spellings of one name the first is taken.
    std::sort(entries.begin(), entries.end(), [](const TFolderEntry& a, const TFolderEntry& b) { return a.name < b.name; });
    TChildren children;
    for (TFolderEntry& entry : entries) {
        children.firstByFolded.emplace(Folded(entry.name), entry.name);
        std::string entryName = entry.name;
        children.byName.emplace(std::move(entryName), std::move(entry));
    }
    return children_.emplace(folder, std::move(children)).first->second;
}

void TRunPlan::JudgeSegment(const std::string& ansi, std::size_t index, bool last, const TCollected& file,
                            TVerdict& verdict, bool& windows) {
    const std::string utf8 = platform::AnsiToUtf8(ansi);
    if (OnlyDotsAndSpaces(ansi) && !last) {
        if (ansi == "..") {
            verdict.marks.push_back("the pattern leads above " + file.root);
        } else if (ansi.empty() && index < patternFolders_.size()) {
            verdict.marks.push_back("the folder name from \"" + patternFolders_[index] + "\" is empty");
        } else {
            verdict.marks.push_back("the folder name \"" + utf8 + "\" is empty or only dots and spaces");
        }
        verdict.stays = true;
        return;
    }
    if (utf8.size() > kMaxSegmentBytes) {
        verdict.marks.push_back((last ? "a name of " : "a folder name of ") + std::to_string(utf8.size()) +
                                " bytes (at most " + std::to_string(kMaxSegmentBytes) + ")");
        verdict.stays = true;
        return;
    }
    const std::string refusal = WindowsRefusal(ansi);
    if (refusal.empty()) return;
    verdict.marks.push_back("Windows refuses " + platform::AnsiToUtf8(refusal) +
                            (last ? std::string() : " in the folder \"" + utf8 + "\""));
    windows = true;
}

TRunPlan::TFolderWay TRunPlan::SpellFolders(const TCollected& file, const std::vector<std::string>& segments,
                                            TVerdict& verdict) {
    const std::string root = WithoutTrailingSlash(file.root);
    TFolderWay way {root, true, root};
    for (std::size_t i = 0; i + 1 < segments.size(); ++i) {
        const std::string name = platform::AnsiToUtf8(segments[i]);
        if (verdict.stays) {
            (way.folder += kPathDelimiter) += name;  // as built, an empty name too
            continue;
        }
        const TSpelled& spelled = Spell(way.folder, way.onDisk, name);
        const std::string parent = std::exchange(way.folder, spelled.path);
        // A folder yet to be made is resolved as its parent is, without asking the system.
        if (spelled.kind == TFileKind::Missing && resolvedFolders_.count(way.folder) == 0) {
            resolvedFolders_.emplace(way.folder, JoinPath(ResolvedFolder(parent, way.folder), NameOf(way.folder)));
        }
        if (spelled.link || (spelled.kind != TFileKind::Folder && spelled.kind != TFileKind::Missing)) {
            // A link could lead out of the library: it is never followed.
            verdict.marks.push_back(way.folder + (spelled.link ? " is a link, not followed" : " is not a folder"));
            verdict.stays = true;
        }
        way.onDisk = spelled.kind == TFileKind::Folder;
        if (way.onDisk) way.standing = way.folder;
        if (!way.onDisk && made_.count(way.folder) == 0) verdict.makes.push_back(way.folder);
    }
    return way;
}

TVerdict TRunPlan::JudgeUnder(const TCollected& file, const std::string& ansiRelative, const TVerdict& said) {
    TVerdict verdict;
    const std::vector<std::string> segments = Segments(ansiRelative);
    bool windows = false;
    for (std::size_t i = 0; i < segments.size(); ++i) {
        JudgeSegment(segments[i], i, i + 1 == segments.size(), file, verdict, windows);
    }
    const TFolderWay way = SpellFolders(file, segments, verdict);
    const std::string& folder = way.folder;
    const bool onDisk = way.onDisk;
    const std::string& standing = way.standing;
    const std::string name = platform::AnsiToUtf8(segments.back());
    verdict.newPath = verdict.stays ? folder + kPathDelimiter + name : JoinPath(folder, name);
    if (verdict.newPath == file.path) {
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
            verdict.marks.push_back(standing + " is on another file system; nothing is copied");
            verdict.stays = true;
        } else if (const std::string& refusal = FolderRefusal(standing); !refusal.empty()) {
            verdict.marks.push_back(refusal);
            verdict.stays = true;
        }
        const bool targetOnDisk = onDisk && TargetOnDisk(folder, name, verdict.newPath, newKey);
        switch (Check(file.key, newKey, targetOnDisk)) {
        case TBlock::Exists: verdict.marks.push_back("exists already"); verdict.stays = true; break;
        case TBlock::Collision: verdict.marks.push_back("an earlier file takes this name"); verdict.stays = true; break;
        case TBlock::None: break;
        }
    }
    if (windows) {
        verdict.refused = true;
        if (IsWindowsBuild() || !allowPosixNames_) verdict.stays = true;
    }
    if (segments.back() == pelmora::kFileMask.substr(1)) {
        verdict.marks.push_back("no name before the extension");
        verdict.stays = true;
    }
    verdict.marks.insert(verdict.marks.end(), said.marks.begin(), said.marks.end());
    verdict.stays = verdict.stays || said.stays;
    const std::string& folderRefusal = FolderRefusal(ParentOf(file.path));
    if (!folderRefusal.empty()) {
        verdict.marks.push_back(folderRefusal);
        verdict.stays = true;
    }
    if (verdict.stays) {
        verdict.marks.back() += ": stays";
        verdict.makes.clear();
        return verdict;
    }
    arrivals_.insert(FolderKey(folder));
    for (const std::string& made : verdict.makes) {
        made_.insert(made);
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
        const bool movedOut = vacated_.count(child) != 0 && claimed_.count(child) == 0;
        if (!movedOut && emptied_.count(child) == 0) return false;
    }
    emptied_.insert(key);
    return true;
}

}  // namespace host
