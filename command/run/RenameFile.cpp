// Each file of a rename run: handed to the plug-in, judged, and moved by the
// plug-in (or, under another folder, by the command) with its journal lines.
#include <optional>

#include "PathText.h"
#include "Rename.h"
#include "System.h"
#include "platform.h"

namespace host {

void TRenameRun::Fail(const std::string& path, const std::string& reason) {
    ++counts_.seen;
    TFileReport r;
    r.path = path;
    Failed(r, reason);
}

bool TRenameRun::Failed(TFileReport& r, std::string reason) {
    ++counts_.failed;
    r.result = TFileResult::Failed;
    if (!reason.empty()) r.reason = std::move(reason);
    report_.File(r);
    return true;
}

bool TRenameRun::Unchanged(const TFileReport& r) {
    ++counts_.unchanged;
    report_.File(r);
    return true;
}

bool TRenameRun::StopAt(TFileReport& r, const std::string& error) {
    Failed(r, error + "; stopped");
    stop_ = error;
    return false;
}

bool TRenameRun::StopBefore(const std::string& step, const std::string& error) {
    ++counts_.failed;
    stop_ = error;
    console_.Err("stopped before " + step);
    return false;
}

TVerdict TRenameRun::Said(const THandedFile& file, std::string_view name, std::optional<bool> tagged) {
    TVerdict said;
    std::optional<std::string> probed;
    std::string ansiProbe, error;
    // Without the tag, the probe's answer is known: the plug-in keeps the name.
    if (tagged == false) {
        probed = std::string();
    } else if (probe_ && sense_->WantsProbe(name) && plugin_.Process(probe_->Get(), file, true, ansiProbe, error)) {
        probed = ansiProbe == file.ansi ? std::string() : NameOf(ResultPath(file, ansiProbe));
        // A library with files without the tag: from now on the plug-in is asked with the name.
        if (probed->empty()) askTag_ = asked_.has_value();
    }
    sense_->Judge(name, probed, said.marks, said.stays);
    return said;
}

bool TRenameRun::HandleFile(PluginOptions* record, const TCollected& collected) {
    const std::string& path = collected.path;
    THandedFile file {path, {}, false};
    if (!HandOver(file)) {
        Fail(path, UnholdableName(NameOf(path)));
        return true;
    }
    std::string ansiNew, error;
    // Asked with the tag question where it helps; with the pattern alone where that answer cannot tell.
    std::optional<bool> tagged;
    bool asked = !askTag_ || plugin_.Process(asked_->Get(), file, true, ansiNew, error);
    if (asked && askTag_ && ansiNew != file.ansi) tagged = sense_->TakeTagAnswer(ansiNew);
    if (asked && !tagged) asked = plugin_.Process(record, file, true, ansiNew, error);
    ++counts_.seen;
    TFileReport r;
    r.path = path;
    if (!asked) return StopAt(r, error);
    if (ansiNew == file.ansi) {
        // The plug-in keeps the name of a file it cannot read too: only then is it asked why.
        std::string reason;
        if (!CanRead(path, reason)) return Failed(r, "cannot read: " + reason + "; left alone");
        return Unchanged(r);
    }
    TVerdict verdict;
    if (folders_ && ansiNew.compare(0, AnsiFolderLength(file.ansi), file.ansi, 0, AnsiFolderLength(file.ansi)) == 0) {
        const std::string relative = ansiNew.substr(AnsiFolderLength(file.ansi));
        verdict = plan_.JudgeUnder(collected, relative, Said(file, platform::AnsiToUtf8(relative), tagged));
        if (verdict.unchanged) return Unchanged(r);
        r.newPath = verdict.newPath;
    } else {
        r.newPath = ResultPath(file, ansiNew);
        verdict = plan_.Judge(path, collected.key, file.ansi, ansiNew, r.newPath,
                              Said(file, NamePart(r.newPath), tagged));
    }
    if (verdict.refused) ++counts_.refused;
    r.marks = std::move(verdict.marks);
    if (command_.dryRun) {
        r.result = verdict.stays ? TFileResult::WouldStay : TFileResult::ToRename;
        ++(verdict.stays ? counts_.stays : counts_.renamed);
        for (const std::string& folder : verdict.makes) Folder(folder, true);
        if (!verdict.stays && folders_) plan_.Vacated(ParentOf(path), collected.root);
        report_.File(r);
        return true;
    }
    if (verdict.stays) return Failed(r);
    // Each folder on record before it is made, so that undo can take it away.
    for (std::size_t i = 0; i < verdict.makes.size(); ++i) {
        const std::string& folder = verdict.makes[i];
        if (!journal_.Folder(kKindMaking, plan_.Resolved(folder), error)) return StopBefore("making " + folder, error);
        if (MakeFolder(folder, error)) {
            Folder(folder, true);
            continue;
        }
        journal_.NotMade();
        for (std::size_t j = i; j < verdict.makes.size(); ++j) plan_.NotMade(verdict.makes[j]);
        return Failed(r, "cannot make the folder " + folder + ": " + error);
    }
    justMade_ = std::move(verdict.makes);
    return Rename(record, file, collected.root, r);
}

bool TRenameRun::Rename(PluginOptions* record, const THandedFile& file, const std::string& root, TFileReport& r) {
    // Journaled by what the file is and where the system puts it, so that
    // undo can never take another file for it.
    // Organising, the plan knows every folder resolved already, once each.
    const auto resolved = [this](const std::string& path) {
        return folders_ ? plan_.Resolved(path) : ResolvedPath(path);
    };
    const std::string journalOld = resolved(r.path);
    TFileId id;
    if (!IdentityOf(r.path, id)) return Failed(r, "cannot tell which file it is: " + LastErrorText() + "; left alone");
    std::string error;
    if (!journal_.Renaming(journalOld, resolved(r.newPath), id, error)) return StopBefore("renaming " + r.path, error);
    // Under another folder the plug-in cannot move a file: the command does,
    // with the move undo uses, which never replaces and never copies.
    std::string ansiResult, moveError;
    bool moved = false;
    if (folders_) {
        moved = MoveNoReplace(r.path, r.newPath, moveError);
    } else if (!plugin_.Process(record, file, false, ansiResult, error)) {
        return StopAt(r, error);
    } else {
        moved = ansiResult != file.ansi;
    }
    const std::string newPath = r.newPath;
    if (moved) {
        ++renames_;
        if (context_.killAfterRenames > 0 && renames_ >= context_.killAfterRenames) KillSelf();
        if (!folders_) r.newPath = ResultPath(file, ansiResult);
    }
    // The name the folder lists is the truth: a file system layer may cut
    // a name it cannot hold, or keep the letter case, and still report the move done.
    std::string listed;
    const TMoveOutcome outcome = !moved ? TMoveOutcome::Stayed : ConfirmMove(r.path, r.newPath, listed, error);
    if (outcome == TMoveOutcome::Stayed || outcome == TMoveOutcome::CaseKept) {
        r.marks.clear();
        Failed(r, !moved ? (moveError.empty() ? plan_.WhyNotMoved(r.path, r.newPath) : moveError)
                  : outcome == TMoveOutcome::Stayed
                      ? (folders_ ? "the system reported the move, but the file stays"
                                  : "the plug-in reported the move, but the file stays")
                      : error);
        if (!JournalStep(journal_.Failed(journalOld, resolved(newPath), error), error)) return false;
        // The folders made for it alone would be left empty.
        for (auto folder = justMade_.rbegin(); folder != justMade_.rend(); ++folder) {
            const TRemoval removal = RemoveIfEmpty(*folder, error);
            if (removal == TRemoval::Stop) return JournalStep(false, error);
            if (removal != TRemoval::Removed) break;
            plan_.NotMade(*folder);
        }
        return true;
    }
    ++counts_.renamed;
    r.result = TFileResult::Renamed;
    if (folders_) plan_.Vacated(ParentOf(r.path), root);
    const std::string listedPath = listed.empty() ? std::string() : JoinPath(ParentOf(r.newPath), listed);
    if (outcome == TMoveOutcome::Unlisted) {
        ++counts_.failed;
        r.marks.push_back("no file stands at this name");
    } else if (NameKey(listedPath) != NameKey(r.newPath)) {
        ++counts_.failed;
        r.marks.push_back("the folder lists it as " + listed);
        r.newPath = listedPath;
    }
    // Told even when its journal line fails: the file has its new name.
    report_.File(r);
    return JournalStep(journal_.Renamed(journalOld, resolved(r.newPath), id, error), error);
}

bool TRenameRun::JournalStep(bool written, const std::string& error) {
    if (!written) stop_ = error;
    return written;
}

}  // namespace host
