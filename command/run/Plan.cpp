// The preview's marks.
#include "Plan.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <string_view>

#include "PathText.h"
#include "System.h"
#include "Text.h"
#include "platform.h"

namespace host {

namespace {

constexpr unsigned char kFirstPrintable = 0x20;
// The longest file name: 255 bytes on the usual POSIX file systems, 255
// UTF-16 units (so 255 Windows-1251 characters) on Windows.
constexpr std::size_t kMaxNameLength = 255;
// What the plug-in builds from a pattern whose values are all empty.
constexpr const char* kExtensionOnly = ".mp3";

// Byte by byte: whether the plug-in ends a folder there, and whether a new
// name holding it leads out of its folder on this system (":" ends a folder
// for the plug-in on Windows, but there it is a character Windows refuses).
struct TDelimiters {
    std::array<bool, 256> plugin{};
    std::array<bool, 256> elsewhere{};
};

const TDelimiters kDelimiters = [] {
    TDelimiters d;
    for (std::size_t i = 0; i < d.plugin.size(); ++i) {
        const auto c = static_cast<char>(i);
        d.plugin[i] = platform::IsPathDelimiter(c);
        d.elsewhere[i] = c != ':' && (d.plugin[i] || IsSlash(c));
    }
    return d;
}();

// Where the folder part of an 8-bit path ends, by the plug-in's rule.
std::size_t AnsiFolderLength(const std::string& ansiPath) {
    for (std::size_t i = ansiPath.size(); i > 0; --i) {
        if (kDelimiters.plugin[static_cast<unsigned char>(ansiPath[i - 1])]) return i;
    }
    return 0;
}

// The key of a listed name into keys; buffer keeps its room from name to name.
void KeepKey(TKeySet& keys, std::string& buffer, const std::string& resolved, std::string_view name) {
    ChildKey(buffer, resolved, name);
    keys.Insert(buffer);
}

// The bytes Windows refuses in a name: the controls and a few ASCII punctuation marks.
constexpr std::string_view kRefused = "<>:\"|?*\\/";
constexpr std::array<bool, 256> kRefusedBytes = [] {
    std::array<bool, 256> table{};
    for (unsigned u = 0; u < kFirstPrintable; ++u) table[u] = true;
    for (const char c : kRefused) table[static_cast<unsigned char>(c)] = true;
    return table;
}();

}  // namespace

std::string WindowsRefusal(std::string_view ansiName) {
    for (const char c : ansiName) {
        const auto u = static_cast<unsigned char>(c);
        if (!kRefusedBytes[u]) continue;
        if (u < kFirstPrintable) {
            char code[8];
            std::snprintf(code, sizeof code, "%02X", u);
            return std::string("the control character ") + code;
        }
        return std::string("\"") + c + "\"";
    }
    if (ansiName.size() > kMaxNameLength) return "a name longer than " + std::to_string(kMaxNameLength) + " characters";
    if (!ansiName.empty() && (ansiName.back() == '.' || ansiName.back() == ' ')) {
        return std::string("a name ending in \"") + ansiName.back() + "\"";
    }
    // Device names stay reserved whatever extension follows them. Only a base
    // of three or four letters can be one, so the rest is never copied.
    std::size_t baseLength = std::min(ansiName.find('.'), ansiName.size());
    while (baseLength > 0 && ansiName[baseLength - 1] == ' ') --baseLength;
    constexpr std::size_t kDeviceLength = 3, kNumberedLength = 4;
    if (baseLength != kDeviceLength && baseLength != kNumberedLength) return {};
    const std::string base = AsciiUpper(std::string(ansiName.substr(0, baseLength)));
    static constexpr const char* kReserved[] = {"CON", "PRN", "AUX", "NUL"};
    bool reserved = std::any_of(std::begin(kReserved), std::end(kReserved), [&](const char* r) { return base == r; });
    if (base.size() == kNumberedLength && (StartsWith(base, "COM") || StartsWith(base, "LPT")) && base[3] >= '1' &&
        base[3] <= '9') {
        reserved = true;
    }
    if (reserved) return "the reserved name \"" + base + "\"";
    return {};
}

TBlock TRunPlan::Check(std::string_view oldKey, std::string_view newKey, std::uint64_t newHash,
                       bool targetOnDisk) const {
    if (claimed_.Contains(newKey, newHash)) return TBlock::Collision;
    if (targetOnDisk && newKey != oldKey && !vacated_.Contains(newKey, newHash)) return TBlock::Exists;
    return TBlock::None;
}

void TRunPlan::Claim(THashedKey oldKey, std::string_view newKey, std::uint64_t newHash) {
    claimed_.Insert(newKey, newHash);
    if (oldKey.text != newKey) vacated_.InsertKept(oldKey.text, oldKey.hash);
}

const std::string& TRunPlan::RefusalOfFolderOf(const std::string& path) {
    if (lastRefusal_ != folders_.end() && IsParentOf(lastRefusal_->first, path)) return lastRefusal_->second;
    return FolderRefusal(ParentOf(path));
}

const std::string& TRunPlan::FolderRefusal(const std::string& folder) {
    // A run meets its files folder by folder: the last answer is nearly always the one asked for.
    if (lastRefusal_ != folders_.end() && lastRefusal_->first == folder) return lastRefusal_->second;
    lastRefusal_ = folders_.find(folder);
    if (lastRefusal_ != folders_.end()) return lastRefusal_->second;
    std::string refusal;
    const TEntryInfo info = Examine(folder);
    if (info.kind != TFileKind::Folder) {
        refusal = "no folder " + folder + (info.error.empty() ? "" : ": " + info.error);
    } else if (!CanChangeFolder(folder, refusal)) {
        refusal = "cannot write in " + folder + ": " + refusal;
    }
    lastRefusal_ = folders_.emplace(folder, refusal).first;
    return lastRefusal_->second;
}

const std::string& TRunPlan::ResolvedFolder(const std::string& path) {
    if (lastResolved_ == resolvedFolders_.end() || !IsParentOf(lastResolved_->first, path)) {
        std::string folder = ParentOf(path);
        lastResolved_ = resolvedFolders_.find(folder);
        if (lastResolved_ == resolvedFolders_.end()) {
            std::string resolved = ParentOf(ResolvedPath(path));
            lastResolved_ = resolvedFolders_.emplace(std::move(folder), std::move(resolved)).first;
        }
    }
    return lastResolved_->second;
}

const std::string& TRunPlan::Key(const std::string& path, std::string_view name) {
    ChildKey(key_, ResolvedFolder(path), name);
    return key_;
}

void TRunPlan::KnowFolder(const std::string& folder, const std::string& resolved,
                          const std::vector<THashedKey>& keys) {
    resolvedFolders_.emplace(folder, resolved);
    // The folder's files may all be renamed: room for their claims.
    claimed_.Expect(resolved, keys.size());
    vacated_.Expect(resolved, keys.size());
    TListing listing;
    listing.listed = true;
    listing.waiting = keys;
    listings_.emplace(folder, std::move(listing));
}

bool TRunPlan::TargetOnDisk(const std::string& path, std::string_view key, std::uint64_t hash) {
    if (lastListing_ == listings_.end() || !IsParentOf(lastListing_->first, path)) {
        std::string folder = ParentOf(path);
        lastListing_ = listings_.find(folder);
        if (lastListing_ == listings_.end()) {
            TListing listing;
            std::vector<std::string> names;
            std::string error;
            listing.listed = ListFolder(folder, names, error);
            const std::string& resolved = ResolvedFolder(path);
            listing.keys.Reserve(names.size());
            std::string listed;
            for (const std::string& name : names) KeepKey(listing.keys, listed, resolved, name);
            lastListing_ = listings_.emplace(std::move(folder), std::move(listing)).first;
        }
    }
    TListing& listing = lastListing_->second;
    if (!listing.waiting.empty()) {
        listing.keys.Reserve(listing.waiting.size());
        for (const THashedKey& k : listing.waiting) listing.keys.InsertKept(k.text, k.hash);
        listing.waiting = {};
    }
    if (!listing.listed) return Exists(path);
    if (listing.keys.Contains(key, hash)) return true;
    // Windows also finds a file by its short 8.3 alias, which no listing shows.
    return IsWindowsBuild() && NameOf(path).find('~') != std::string::npos && Exists(path);
}

TVerdict TRunPlan::Judge(const std::string& oldPath, THashedKey oldKey, const std::string& ansiOld,
                         const std::string& ansiNew, const std::string& newPath) {
    TVerdict verdict;
    const std::string_view newName = NameView(newPath);
    const std::string& newKey = Key(newPath, newName);
    const std::uint64_t newHash = TKeySet::Hash(newKey);
    // The name as the plug-in built it: everything after the old folder.
    const std::size_t folderLength = AnsiFolderLength(ansiOld);
    const bool sameStart = ansiNew.compare(0, folderLength, ansiOld, 0, folderLength) == 0;
    const std::string_view ansiName = std::string_view(ansiNew).substr(sameStart ? folderLength : 0);
    const bool otherFolder = !sameStart || std::any_of(ansiName.begin(), ansiName.end(), [](char c) {
                                 return kDelimiters.elsewhere[static_cast<unsigned char>(c)];
                             });
    switch (Check(oldKey.text, newKey, newHash, TargetOnDisk(newPath, newKey, newHash))) {
    case TBlock::Exists: verdict.marks.push_back("exists already"); break;
    case TBlock::Collision: verdict.marks.push_back("an earlier file takes this name"); break;
    case TBlock::None: break;
    }
    if (otherFolder) {
        // Text of the pattern such as "../" would move the file out of its folder.
        verdict.marks.push_back("the pattern leads into another folder");
        const std::string& refusal = RefusalOfFolderOf(newPath);
        if (!refusal.empty()) verdict.marks.push_back(refusal);
    }
    verdict.stays = !verdict.marks.empty();
    const std::string refusal = otherFolder ? std::string() : WindowsRefusal(ansiName);
    if (!refusal.empty()) {
        verdict.refused = true;
        verdict.marks.push_back("Windows refuses " + platform::AnsiToUtf8(refusal));
        // Left alone in both builds, so that a library gets the same names on both.
        if (IsWindowsBuild() || !allowPosixNames_) verdict.stays = true;
    }
    if (ansiName == kExtensionOnly) {
        verdict.marks.push_back("no name before the extension");
        verdict.stays = true;
    }
    if (!IsWindowsBuild() && newName.size() > kMaxNameLength) {
        verdict.marks.push_back("name too long");
        verdict.stays = true;
    }
    const std::string& folderRefusal = RefusalOfFolderOf(oldPath);
    if (!folderRefusal.empty()) {
        verdict.marks.push_back(folderRefusal);
        verdict.stays = true;
    }
    if (verdict.stays) {
        verdict.marks.back() += ": stays";
    } else {
        Claim(oldKey, newKey, newHash);
    }
    return verdict;
}

}  // namespace host
