// The preview's marks.
#include "Plan.h"

#include <algorithm>
#include <cstdio>
#include <string_view>

#include "PathText.h"
#include "PelmoraConstants.h"
#include "System.h"
#include "Text.h"
#include "platform.h"

namespace host {

namespace {

constexpr unsigned char kFirstPrintable = 0x20;

// The bytes Windows refuses in a name: the controls and a few ASCII punctuation marks.
bool IsRefused(char c) {
    switch (c) {
    case '<': case '>': case ':': case '"': case '|': case '?': case '*': case '\\': case '/': return true;
    default: return static_cast<unsigned char>(c) < kFirstPrintable;
    }
}

}  // namespace

std::size_t AnsiFolderLength(const std::string& ansiPath) {
    for (std::size_t i = ansiPath.size(); i > 0; --i) {
        if (platform::IsPathDelimiter(ansiPath[i - 1])) return i;
    }
    return 0;
}

std::string WindowsRefusal(std::string_view ansiName) {
    for (const char c : ansiName) {
        const auto u = static_cast<unsigned char>(c);
        if (!IsRefused(c)) continue;
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
    if (base.size() == kNumberedLength && (base.starts_with("COM") || base.starts_with("LPT")) && base[3] >= '1' &&
        base[3] <= '9') {
        reserved = true;
    }
    if (reserved) return "the reserved name \"" + base + "\"";
    return {};
}

const TRunPlan::TClaims& TRunPlan::ClaimsOf(std::string_view key) const {
    static const TClaims none;
    const auto folder = claims_.find(FolderPart(key));
    return folder == claims_.end() ? none : folder->second;
}

TRunPlan::TClaims& TRunPlan::ClaimsToAdd(std::string_view key) {
    const std::string_view folder = FolderPart(key);
    const auto known = claims_.find(folder);
    return known != claims_.end() ? known->second : claims_[std::string(folder)];
}

TBlock TRunPlan::Check(const std::string& oldKey, const std::string& newKey, bool targetOnDisk) const {
    const TClaims& claims = ClaimsOf(newKey);
    if (claims.claimed.count(newKey) != 0) return TBlock::Collision;
    if (targetOnDisk && newKey != oldKey && claims.vacated.count(newKey) == 0) return TBlock::Exists;
    return TBlock::None;
}

void TRunPlan::Claim(const std::string& oldKey, std::string newKey) {
    if (oldKey != newKey) ClaimsToAdd(oldKey).vacated.insert(oldKey);
    TClaims& claims = ClaimsToAdd(newKey);
    claims.claimed.insert(std::move(newKey));
}

const std::string& TRunPlan::FolderRefusal(std::string_view folderPart) {
    const auto known = refusals_.find(folderPart);
    if (known != refusals_.end()) return known->second;
    const std::string folder(folderPart);
    std::string refusal;
    const TEntryInfo info = Examine(folder);
    if (info.kind != TFileKind::Folder) {
        refusal = "no folder " + folder + (info.error.empty() ? "" : ": " + info.error);
    } else if (!CanChangeFolder(folder, refusal)) {
        refusal = "cannot write in " + folder + ": " + refusal;
    }
    return refusals_.emplace(folder, refusal).first->second;
}

const std::string& TRunPlan::ResolvedFolder(std::string_view folder, const std::string& path) {
    const auto known = resolvedFolders_.find(folder);
    if (known != resolvedFolders_.end()) return known->second;
    return resolvedFolders_.emplace(std::string(folder), ParentOf(ResolvedPath(path))).first->second;
}

void TRunPlan::KnowFolder(const std::string& folder, std::vector<std::string> keys) {
    std::sort(keys.begin(), keys.end());
    listings_.emplace(folder, TListing {true, std::move(keys)});
}

bool TRunPlan::TargetOnDisk(std::string_view folder, std::string_view name, const std::string& path,
                            const std::string& key) {
    auto listing = listings_.find(folder);
    if (listing == listings_.end()) {
        TListing listed;
        std::vector<std::string> names;
        std::string error;
        listed.listed = ListFolder(std::string(folder), names, error);
        const std::string& resolved = ResolvedFolder(folder, path);
        for (const std::string& each : names) listed.keys.push_back(NameKey(JoinPath(resolved, each)));
        std::sort(listed.keys.begin(), listed.keys.end());
        listing = listings_.emplace(std::string(folder), std::move(listed)).first;
    }
    if (!listing->second.listed) return Exists(path);
    if (std::binary_search(listing->second.keys.begin(), listing->second.keys.end(), key)) return true;
    // Windows also finds a file by its short 8.3 alias, which no listing shows.
    return IsWindowsBuild() && name.find('~') != std::string::npos && Exists(path);
}

TVerdict TRunPlan::Judge(const std::string& oldPath, const std::string& oldKey, const std::string& ansiOld,
                         const std::string& ansiNew, const std::string& newPath, const TVerdict& said) {
    TVerdict verdict;
    const std::string_view folder = FolderPart(newPath), name = NamePart(newPath);
    std::string newKey = NameKey(JoinPath(ResolvedFolder(folder, newPath), name));
    // The name as the plug-in built it: everything after the old folder.
    const std::size_t folderLength = AnsiFolderLength(ansiOld);
    const bool sameStart = ansiNew.compare(0, folderLength, ansiOld, 0, folderLength) == 0;
    const std::string_view ansiName = std::string_view(ansiNew).substr(sameStart ? folderLength : 0);
    // A delimiter of this system in it leads elsewhere (":" ends a folder for
    // the plug-in on Windows, but there it is a character Windows refuses).
    const bool otherFolder = !sameStart || std::any_of(ansiName.begin(), ansiName.end(), [](char c) { return IsSlash(c); });
    switch (Check(oldKey, newKey, TargetOnDisk(folder, name, newPath, newKey))) {
    case TBlock::Exists: verdict.marks.push_back("exists already"); break;
    case TBlock::Collision: verdict.marks.push_back("an earlier file takes this name"); break;
    case TBlock::None: break;
    }
    if (otherFolder) {
        // Text of the pattern such as "../" would move the file out of its folder.
        verdict.marks.push_back("the pattern leads into another folder");
        const std::string& refusal = FolderRefusal(folder);
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
    const bool tooLong = !IsWindowsBuild() && name.size() > kMaxNameLength;
    if (Settle(verdict, ansiName, said, tooLong, oldPath)) {
        Claim(oldKey, std::move(newKey));
    }
    return verdict;
}

bool TRunPlan::Settle(TVerdict& verdict, std::string_view ansiName, const TVerdict& said, bool tooLong,
                      const std::string& oldPath) {
    // What the plug-in builds from a pattern whose values are all empty.
    if (ansiName == pelmora::kNewExtension) verdict.Stay("no name before the extension");
    verdict.marks.insert(verdict.marks.end(), said.marks.begin(), said.marks.end());
    verdict.stays = verdict.stays || said.stays;
    if (tooLong) verdict.Stay("name too long");
    if (const std::string& refusal = FolderRefusal(FolderPart(oldPath)); !refusal.empty()) verdict.Stay(refusal);
    if (verdict.stays) verdict.marks.back() += ": stays";
    return !verdict.stays;
}

std::string TRunPlan::WhyNotMoved(const std::string& path, const std::string& newPath) {
    const TEntryInfo old = Examine(path);
    if (old.kind == TFileKind::Missing) return "the file is gone" + (old.error.empty() ? "" : ": " + old.error);
    if (NameKey(path) != NameKey(newPath) && Exists(newPath)) return "a file of that name exists";
    // The disk may have changed since the plan's look.
    refusals_.clear();
    listings_.clear();
    for (const std::string& folder : {ParentOf(newPath), ParentOf(path)}) {
        const std::string& refusal = FolderRefusal(folder);
        if (!refusal.empty()) return refusal;
    }
    std::string reason;
    if (!CanRead(path, reason)) return "cannot read: " + reason;
    return "the system refused the move";
}

}  // namespace host
