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
// The longest file name: 255 bytes on the usual POSIX file systems, 255
// UTF-16 units (so 255 Windows-1251 characters) on Windows.
constexpr std::size_t kMaxNameLength = 255;
// What the plug-in builds from a pattern whose values are all empty: the
// extension of its file mask.
constexpr std::string_view kExtensionOnly = pelmora::kFileMask.substr(1);

// Whether a new name holding c leads out of its folder on this system (":"
// ends a folder for the plug-in on Windows, but there it is a character
// Windows refuses).
bool LeadsElsewhere(char c) { return c != ':' && (platform::IsPathDelimiter(c) || IsSlash(c)); }

// Where the folder part of an 8-bit path ends, by the plug-in's rule.
std::size_t AnsiFolderLength(const std::string& ansiPath) {
    for (std::size_t i = ansiPath.size(); i > 0; --i) {
        if (platform::IsPathDelimiter(ansiPath[i - 1])) return i;
    }
    return 0;
}

// The bytes Windows refuses in a name beside the controls.
constexpr std::string_view kRefused = "<>:\"|?*\\/";

}  // namespace

std::string WindowsRefusal(std::string_view ansiName) {
    for (const char c : ansiName) {
        const auto u = static_cast<unsigned char>(c);
        if (u >= kFirstPrintable && kRefused.find(c) == std::string_view::npos) continue;
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

TBlock TRunPlan::Check(const std::string& oldKey, const std::string& newKey, bool targetOnDisk) const {
    if (claimed_.count(newKey) != 0) return TBlock::Collision;
    if (targetOnDisk && newKey != oldKey && vacated_.count(newKey) == 0) return TBlock::Exists;
    return TBlock::None;
}

void TRunPlan::Claim(const std::string& oldKey, const std::string& newKey) {
    claimed_.insert(newKey);
    if (oldKey != newKey) vacated_.insert(oldKey);
}

const std::string& TRunPlan::FolderRefusal(const std::string& folder) {
    const auto known = refusals_.find(folder);
    if (known != refusals_.end()) return known->second;
    std::string refusal;
    const TEntryInfo info = Examine(folder);
    if (info.kind != TFileKind::Folder) {
        refusal = "no folder " + folder + (info.error.empty() ? "" : ": " + info.error);
    } else if (!CanChangeFolder(folder, refusal)) {
        refusal = "cannot write in " + folder + ": " + refusal;
    }
    return refusals_.emplace(folder, refusal).first->second;
}

std::string TRunPlan::Key(const std::string& path) {
    const std::string folder = ParentOf(path);
    auto resolved = resolvedFolders_.find(folder);
    if (resolved == resolvedFolders_.end()) {
        resolved = resolvedFolders_.emplace(folder, ParentOf(ResolvedPath(path))).first;
    }
    return NameKey(JoinPath(resolved->second, NameOf(path)));
}

bool TRunPlan::TargetOnDisk(const std::string& path, const std::string& key) {
    const std::string folder = ParentOf(path);
    auto listing = listings_.find(folder);
    if (listing == listings_.end()) {
        TListing listed;
        std::vector<std::string> names;
        std::string error;
        listed.listed = ListFolder(folder, names, error);
        for (const std::string& name : names) listed.keys.insert(Key(JoinPath(folder, name)));
        listing = listings_.emplace(folder, std::move(listed)).first;
    }
    if (!listing->second.listed) return Exists(path);
    if (listing->second.keys.count(key) != 0) return true;
    // Windows also finds a file by its short 8.3 alias, which no listing shows.
    return IsWindowsBuild() && NameOf(path).find('~') != std::string::npos && Exists(path);
}

TVerdict TRunPlan::Judge(const std::string& oldPath, const std::string& oldKey, const std::string& ansiOld,
                         const std::string& ansiNew, const std::string& newPath) {
    TVerdict verdict;
    const std::string newKey = Key(newPath);
    // The name as the plug-in built it: everything after the old folder.
    const std::size_t folderLength = AnsiFolderLength(ansiOld);
    const bool sameStart = ansiNew.compare(0, folderLength, ansiOld, 0, folderLength) == 0;
    const std::string_view ansiName = std::string_view(ansiNew).substr(sameStart ? folderLength : 0);
    const bool otherFolder = !sameStart || std::any_of(ansiName.begin(), ansiName.end(), LeadsElsewhere);
    switch (Check(oldKey, newKey, TargetOnDisk(newPath, newKey))) {
    case TBlock::Exists: verdict.marks.push_back("exists already"); break;
    case TBlock::Collision: verdict.marks.push_back("an earlier file takes this name"); break;
    case TBlock::None: break;
    }
    if (otherFolder) {
        // Text of the pattern such as "../" would move the file out of its folder.
        verdict.marks.push_back("the pattern leads into another folder");
        const std::string& refusal = FolderRefusal(ParentOf(newPath));
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
    if (!IsWindowsBuild() && NameOf(newPath).size() > kMaxNameLength) {
        verdict.marks.push_back("name too long");
        verdict.stays = true;
    }
    const std::string& folderRefusal = FolderRefusal(ParentOf(oldPath));
    if (!folderRefusal.empty()) {
        verdict.marks.push_back(folderRefusal);
        verdict.stays = true;
    }
    if (verdict.stays) {
        verdict.marks.back() += ": stays";
    } else {
        Claim(oldKey, newKey);
    }
    return verdict;
}

}  // namespace host
