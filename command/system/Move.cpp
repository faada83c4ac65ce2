// What both systems' files and folders share: the command's own move (the
// platform's move that never replaces, with a change of letter case checked
// against what the folder lists) and the plain listing of a folder.
#include <utility>

#include "Files.h"
#include "PathText.h"
#include "Paths.h"
#include "platform.h"

namespace host {

namespace {

// Names tried for the middle step before giving up.
constexpr unsigned kStepNames = 100;

// After a move from one spelling of a name to another (letter case only):
// the name listed as to spells it, through a name of its own where the system
// ignored the move (Wine on a disk that tells case apart). False with why not.
bool FixLetterCase(const std::string& from, const std::string& to, std::string& error) {
    const std::string wanted = NameOf(to);
    const std::string listed = ListedName(to);
    if (listed == wanted) return true;
    const std::string folder = ParentOf(to);
    const std::string current = listed.empty() ? from : JoinPath(folder, listed);
    for (unsigned n = 0; n < kStepNames; ++n) {
        const std::string step = JoinPath(folder, wanted + ".pelmora-" + std::to_string(n));
        if (Exists(step)) continue;
        if (!platform::MoveNoReplaceUtf8(current, step)) break;
        if (platform::MoveNoReplaceUtf8(step, to) && ListedName(to) == wanted) return true;
        // Back under its own name, whatever stood in the way.
        platform::MoveNoReplaceUtf8(step, current);
        break;
    }
    const std::string kept = ListedName(to);
    error = "the system keeps the name " + (kept.empty() ? NameOf(current) : kept);
    return false;
}

}  // namespace

bool MoveNoReplace(const std::string& from, const std::string& to, std::string& error) {
    if (!platform::MoveNoReplaceUtf8(from, to)) {
        error = LastErrorText();
        return false;
    }
    if (from == to || NameKey(from) != NameKey(to)) return true;
    return FixLetterCase(from, to, error);
}

TMoveOutcome ConfirmMove(const std::string& from, const std::string& to, std::string& listed, std::string& error) {
    const bool caseOnly = NameKey(from) == NameKey(to);
    listed = ListedName(to);
    if (caseOnly && !listed.empty() && listed != NameOf(to) && FixLetterCase(from, to, error)) listed = NameOf(to);
    if (listed.empty()) return Exists(from) ? TMoveOutcome::Stayed : TMoveOutcome::Unlisted;
    if (caseOnly && listed == NameOf(from) && listed != NameOf(to)) {
        if (error.empty()) error = "the system kept the name as it was";
        return TMoveOutcome::CaseKept;
    }
    return TMoveOutcome::Moved;
}

bool ListFolder(const std::string& path, std::vector<std::string>& names, std::string& error) {
    std::vector<TFolderEntry> entries;
    const bool listed = ListFolderEntries(path, entries, error);
    names.clear();
    for (TFolderEntry& e : entries) names.push_back(std::move(e.name));
    return listed;
}

}  // namespace host
