// The command's own move: the platform's move that never replaces, with a
// change of letter case checked against what the folder lists.
#include "Files.h"
#include "PathText.h"
#include "Paths.h"
#include "platform.h"

namespace host {

namespace {

// Names tried for the middle step before giving up.
constexpr unsigned kStepNames = 100;

}  // namespace

bool MoveNoReplace(const std::string& from, const std::string& to, std::string& error) {
    if (!platform::MoveNoReplaceUtf8(from, to)) {
        error = LastErrorText();
        return false;
    }
    if (from == to || NameKey(from) != NameKey(to)) return true;
    return FixLetterCase(from, to, error);
}

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

}  // namespace host
