// The preview's marks.
#include "HostPlan.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "HostPath.h"
#include "HostSystem.h"
#include "HostText.h"
#include "platform.h"

namespace host {

namespace {

constexpr unsigned char kFirstPrintable = 0x20;
// The longest file name: 255 bytes on the usual POSIX file systems, 255
// UTF-16 units (so 255 Windows-1251 characters) on Windows.
constexpr std::size_t kMaxNameLength = 255;

// The plug-in's own rule for where the folder part of an 8-bit path ends.
std::size_t AnsiFolderLength(const std::string& ansiPath) {
    for (std::size_t i = ansiPath.size(); i > 0; --i) {
        if (platform::IsPathDelimiter(ansiPath[i - 1])) return i;
    }
    return 0;
}

}  // namespace

std::string WindowsRefusal(const std::string& ansiName) {
    static constexpr const char* kRefused = "<>:\"|?*\\/";
    for (const char c : ansiName) {
        const auto u = static_cast<unsigned char>(c);
        if (u < kFirstPrintable) {
            char code[8];
            std::snprintf(code, sizeof code, "%02X", u);
            return std::string("the control character ") + code;
        }
        if (std::strchr(kRefused, c) != nullptr) return std::string("\"") + c + "\"";
    }
    if (ansiName.size() > kMaxNameLength) return "a name longer than " + std::to_string(kMaxNameLength) + " characters";
    if (!ansiName.empty() && (ansiName.back() == '.' || ansiName.back() == ' ')) {
        return std::string("a name ending in \"") + ansiName.back() + "\"";
    }
    // Device names stay reserved whatever extension follows them.
    std::string base = AsciiUpper(ansiName.substr(0, ansiName.find('.')));
    base.erase(base.find_last_not_of(' ') + 1);
    static constexpr const char* kReserved[] = {"CON", "PRN", "AUX", "NUL"};
    bool reserved = std::any_of(std::begin(kReserved), std::end(kReserved), [&](const char* r) { return base == r; });
    constexpr std::size_t kNumberedLength = 4;
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

TVerdict TRunPlan::Judge(const std::string& oldPath, const std::string& ansiOld, const std::string& ansiNew,
                         const std::string& newPath) {
    TVerdict verdict;
    const std::string oldKey = NameKey(oldPath);
    const std::string newKey = NameKey(newPath);
    switch (Check(oldKey, newKey, Exists(newPath))) {
    case TBlock::Exists: verdict.marks.push_back("exists already"); break;
    case TBlock::Collision: verdict.marks.push_back("an earlier file takes this name"); break;
    case TBlock::None:
        if (KindOf(ParentOf(newPath)) != TFileKind::Folder) verdict.marks.push_back("no folder " + ParentOf(newPath));
        break;
    }
    verdict.stays = !verdict.marks.empty();
    // The name as the plug-in built it: everything after the old folder.
    const std::size_t folderLength = AnsiFolderLength(ansiOld);
    const std::string ansiName =
        ansiNew.compare(0, folderLength, ansiOld, 0, folderLength) == 0 ? ansiNew.substr(folderLength) : ansiNew;
    std::string refusal;
    std::size_t start = 0;
    for (std::size_t i = 0; i <= ansiName.size() && refusal.empty(); ++i) {
        if (i == ansiName.size() || platform::IsPathDelimiter(ansiName[i]) || (IsWindowsBuild() && ansiName[i] == '/')) {
            refusal = WindowsRefusal(ansiName.substr(start, i - start));
            start = i + 1;
        }
    }
    if (!refusal.empty()) {
        verdict.refused = true;
        verdict.marks.push_back("Windows refuses " + platform::AnsiToUtf8(refusal));
        if (IsWindowsBuild()) verdict.stays = true;
    }
    if (!IsWindowsBuild() && NameOf(newPath).size() > kMaxNameLength) {
        verdict.marks.push_back("name too long");
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
