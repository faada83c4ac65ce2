// The rename run.
#include "Rename.h"

#include <algorithm>
#include <chrono>
#include <optional>
#include <thread>

#include "Collect.h"
#include "Lock.h"
#include "NameSense.h"
#include "PathText.h"
#include "Plan.h"
#include "PluginHost.h"
#include "ReadAhead.h"
#include "Report.h"
#include "RunJournal.h"
#include "System.h"
#include "platform.h"

namespace host {

namespace {

class TRenameRun {
public:
    TRenameRun(const TCommand& command, const THostContext& context)
        : command_(command), context_(context), console_(context),
          report_(MakeReporter(console_, command.json, command.quiet)), journal_(command, context),
          plan_(command.allowPosixNames) {}

    int Run() {
        std::string error;
        if (!LoadPlugin(plugin_, command_.pluginPath, context_, error)) {
            console_.Err(error);
            return kExitUsage;
        }
        const TDescriptor descriptor = plugin_.Descriptor();
        // Either delimiter makes a folder on both systems; the plug-in is given this system's.
        std::string pattern = command_.pattern;
        folders_ = pattern.find_first_of("/\\") != std::string::npos;
        if (folders_) {
            std::replace_if(pattern.begin(), pattern.end(), [](char c) { return c == '/' || c == '\\'; },
                            kPathDelimiter);
            plan_.OrganiseWith(PatternFolders(command_.pattern));
        }
        std::string ansiPattern;
        if (!AnsiPattern(descriptor, pattern, ansiPattern, error)) {
            console_.Err(error);
            return kExitUsage;
        }
        TOptionsRecord record(plugin_);
        if (record.Get() == nullptr) {
            console_.Err("the plug-in gave no options record");
            return kExitUsage;
        }
        record.Fill(ansiPattern, command_.tagSource);
        sense_.emplace(ansiPattern, command_.tagSource);
        if (!sense_->ProbePattern().empty()) probe_.emplace(plugin_).Fill(sense_->ProbePattern(), command_.tagSource);
        // A preview changes nothing and may run beside anything.
        if (!command_.dryRun && !lock_.Take(context_, "a rename", error)) {
            console_.Err(error);
            return kExitFailed;
        }
        // A preview moves nothing, so its lines may wait a moment; a real run
        // writes each line before the next file, so a broken output stops it there.
        if (command_.dryRun) console_.Gather();

        TCollector collector(descriptor.mask, command_.recursive, [this](const TFileReport& r) {
            if (r.result == TFileResult::Failed) {
                ++counts_.seen;
                ++counts_.failed;
            } else if (r.result == TFileResult::Skipped) {
                ++counts_.skipped;
            }
            report_->File(r);
        });
        // The collector's listings serve the plan too: each folder is listed once.
        collector.OnListed([this](const std::string& folder, std::vector<std::string> keys) {
            plan_.KnowFolder(folder, std::move(keys));
        });
        for (const std::string& argument : command_.paths) {
            if (console_.Broken() || Interrupted()) break;
            collector.Add(argument);
        }
        const std::vector<TCollected>& files = collector.Files();
        plan_.Expect(files.size());
        TReadAhead readAhead(files, command_.readAhead);  // stopped on every way out of the loop
        std::size_t done = 0;
        for (; done < files.size() && !console_.Broken(); ++done) {
            if (context_.pauseMillis > 0) std::this_thread::sleep_for(std::chrono::milliseconds(context_.pauseMillis));
            if (Interrupted()) break;
            console_.Progress(done, files.size());
            readAhead.Reach(done);
            if (!HandleFile(record.Get(), files[done])) {
                ++done;  // reached, and stopped there
                break;
            }
        }
        readAhead.Stop();
        console_.ClearProgress();
        if (folders_ && !command_.keepEmpty && stop_.empty() && !console_.Broken() && done == files.size()) {
            RemoveEmptied();
        }
        // A journal of nothing renamed would only hide the run before it.
        journal_.Finish(counts_.renamed);
        if (!console_.Broken() && stop_.empty()) {
            Summarise(done, files.size());
            console_.Flush();
        }
        if (console_.Broken() && stop_.empty()) stop_ = "cannot write to standard output";
        if (!stop_.empty()) return Stopped(done, files.size());
        if (counts_.failed > 0) return kExitFailed;
        // A preview fails where the real run would leave a file in place.
        if (command_.dryRun && counts_.stays > 0) return kExitFailed;
        return kExitSuccess;
    }

private:
    // The pattern's text between its delimiters, the file name's left out.
    static std::vector<std::string> PatternFolders(const std::string& pattern) {
        std::vector<std::string> folders(1);
        for (const char c : pattern) {
            if (c == '/' || c == '\\') {
                folders.emplace_back();
            } else {
                folders.back() += c;
            }
        }
        folders.pop_back();
        return folders;
    }

    // Whether a signal asks the run to stop before its next file.
    bool Interrupted() {
        if (signal_ == 0 && context_.stopSignal) signal_ = context_.stopSignal();
        if (signal_ != 0 && stop_.empty()) stop_ = "interrupted by " + SignalName(signal_);
        return signal_ != 0;
    }

    // The counts, or, for a run that ends before its last file (output or
    // journal that cannot be written, a signal), why it stopped and where.
    void Summarise(std::size_t done, std::size_t total) {
        TRunSummary summary;
        summary.counts = counts_;
        summary.dryRun = command_.dryRun;
        summary.folders = folders_;
        if (!stop_.empty()) {
            if (journal_.IsOpen()) summary.journalPath = journal_.Path();
            summary.stopped = stop_;
            summary.filesDone = done;
            summary.filesTotal = total;
            summary.noJournal = command_.noJournal;
        } else if (journal_.IsOpen() && counts_.renamed > 0) {
            summary.journalPath = journal_.Path();
        }
        report_->Summary(summary);
    }

    int Stopped(std::size_t done, std::size_t total) {
        Summarise(done, total);
        return signal_ != 0 ? kExitSignal + signal_ : kExitFailed;
    }

    void Fail(const std::string& path, const std::string& reason) {
        ++counts_.seen;
        ++counts_.failed;
        TFileReport r;
        r.path = path;
        r.result = TFileResult::Failed;
        r.reason = reason;
        report_->File(r);
    }

    // What a new name says of its file: nothing, when its values are empty;
    // the plug-in is asked once more where the name alone cannot tell.
    TVerdict Said(const THandedFile& file, const std::string& name) {
        TVerdict said;
        std::optional<std::string> probed;
        std::string ansiProbe, probePath, error;
        if (probe_ && sense_->WantsProbe(name) && plugin_.Process(probe_->Get(), file, true, ansiProbe, error)) {
            if (ansiProbe != file.ansi) probePath = ResultPath(file, ansiProbe);
            probed = ansiProbe == file.ansi ? std::string() : NameOf(probePath);
        }
        sense_->Judge(name, probed, said.marks, said.stays);
        return said;
    }

    // False when the run must stop (the journal or the working folder fails).
    bool HandleFile(PluginOptions* record, const TCollected& collected) {
        const std::string& path = collected.path;
        THandedFile file {path, {}, false};
        if (!HandOver(file)) {
            Fail(path, UnholdableName(NameOf(path)));
            return true;
        }
        std::string ansiNew, error;
        if (!plugin_.Process(record, file, true, ansiNew, error)) {
            Fail(path, error + "; stopped");
            stop_ = error;
            return false;
        }
        ++counts_.seen;
        TFileReport r;
        r.path = path;
        if (ansiNew == file.ansi) {
            // The plug-in keeps the name of a file it cannot read too: only then is it asked why.
            std::string reason;
            if (CanRead(path, reason)) {
                ++counts_.unchanged;
            } else {
                ++counts_.failed;
                r.result = TFileResult::Failed;
                r.reason = "cannot read: " + reason + "; left alone";
            }
            report_->File(r);
            return true;
        }
        TVerdict verdict;
        if (folders_ && ansiNew.compare(0, AnsiFolderLength(file.ansi), file.ansi, 0, AnsiFolderLength(file.ansi)) == 0) {
            const std::string relative = ansiNew.substr(AnsiFolderLength(file.ansi));
            verdict = plan_.JudgeUnder(collected, relative, Said(file, platform::AnsiToUtf8(relative)));
            if (verdict.unchanged) {
                ++counts_.unchanged;
                report_->File(r);
                return true;
            }
            r.newPath = verdict.newPath;
        } else {
            r.newPath = ResultPath(file, ansiNew);
            verdict = plan_.Judge(path, collected.key, file.ansi, ansiNew, r.newPath, Said(file, NameOf(r.newPath)));
        }
        if (verdict.refused) ++counts_.refused;
        r.marks = std::move(verdict.marks);
        if (command_.dryRun) {
            r.result = verdict.stays ? TFileResult::WouldStay : TFileResult::ToRename;
            ++(verdict.stays ? counts_.stays : counts_.renamed);
            for (const std::string& folder : verdict.makes) Folder(folder, true);
            if (!verdict.stays && folders_) plan_.Vacated(ParentOf(path), collected.root);
            report_->File(r);
            return true;
        }
        if (verdict.stays) {
            ++counts_.failed;
            r.result = TFileResult::Failed;
            report_->File(r);
            return true;
        }
        for (std::size_t i = 0; i < verdict.makes.size(); ++i) {
            const std::string& folder = verdict.makes[i];
            if (!journal_.Folder(kKindMaking, ResolvedPath(folder), error)) return JournalStep(false, error);
            if (!MakeFolder(folder, error)) {
                for (std::size_t j = i; j < verdict.makes.size(); ++j) plan_.NotMade(verdict.makes[j]);
                Fail(path, "cannot make the folder " + folder + ": " + error);
                return true;
            }
            Folder(folder, true);
        }
        return Rename(record, file, collected.root, r);
    }

    // A folder made or removed, or to be.
    void Folder(const std::string& folder, bool made) {
        ++(made ? counts_.foldersMade : counts_.foldersRemoved);
        report_->Folder({folder, made, command_.dryRun});
    }

    // The folders the run emptied, deepest first, each journaled before it goes.
    void RemoveEmptied() {
        std::string error;
        for (const std::string& folder : plan_.EmptiedCandidates()) {
            std::vector<std::string> names;
            if (command_.dryRun) {
                if (plan_.WouldEmpty(folder)) Folder(folder, false);
                continue;
            }
            if (!ListFolder(folder, names, error) || !names.empty()) continue;
            if (!journal_.Folder(kKindRemoving, ResolvedPath(folder), error)) {
                stop_ = error;
                return;
            }
            if (RemoveFolder(folder, error)) {
                Folder(folder, false);
            } else {
                console_.Err(folder + ": emptied, but not removed: " + error);
            }
        }
    }

    bool Rename(PluginOptions* record, const THandedFile& file, const std::string& root, TFileReport& r) {
        // Journaled by what the file is and where the system puts it, so that
        // undo can never take another file for it.
        const std::string journalOld = ResolvedPath(r.path);
        TFileId id;
        if (!IdentityOf(r.path, id)) {
            ++counts_.failed;
            r.result = TFileResult::Failed;
            r.reason = "cannot tell which file it is: " + LastErrorText() + "; left alone";
            report_->File(r);
            return true;
        }
        std::string error;
        if (!journal_.Renaming(journalOld, ResolvedPath(r.newPath), id, error)) {
            ++counts_.failed;
            stop_ = error;
            console_.Err("stopped before renaming " + r.path);
            return false;
        }
        // Under another folder the plug-in cannot move a file: the command does,
        // with the move undo uses, which never replaces and never copies.
        std::string ansiResult, moveError;
        bool moved = false;
        if (folders_) {
            moved = MoveNoReplace(r.path, r.newPath, moveError);
        } else if (!plugin_.Process(record, file, false, ansiResult, error)) {
            Fail(r.path, error + "; stopped");
            stop_ = error;
            return false;
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
            ++counts_.failed;
            r.result = TFileResult::Failed;
            r.marks.clear();
            r.reason = !moved ? (moveError.empty() ? plan_.WhyNotMoved(r.path, r.newPath) : moveError)
                       : outcome == TMoveOutcome::Stayed ? "the plug-in reported the move, but the file stays"
                                                          : error;
            report_->File(r);
            return JournalStep(journal_.Failed(journalOld, ResolvedPath(newPath), error), error);
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
        report_->File(r);
        return JournalStep(journal_.Renamed(journalOld, ResolvedPath(r.newPath), id, error), error);
    }

    // False, with the run stopped, when the journal cannot be written; undo
    // still finds the file by the line written before its move.
    bool JournalStep(bool written, const std::string& error) {
        if (!written) stop_ = error;
        return written;
    }

    const TCommand& command_;
    const THostContext& context_;
    TConsole console_;
    std::unique_ptr<TRunReporter> report_;
    TPluginHost plugin_;
    TStateLock lock_;
    TRunJournal journal_;
    TRunPlan plan_;
    std::optional<TNameSense> sense_;
    std::optional<TOptionsRecord> probe_;  // the record the plug-in is asked with for the tag's values alone
    TCounts counts_;
    long renames_ = 0;
    bool folders_ = false;       // the pattern names folders
    std::string stop_;           // why the run ended before its last file
    int signal_ = 0;             // the signal that stopped it
};

}  // namespace

int RunRename(const TCommand& command, const THostContext& context) { return TRenameRun(command, context).Run(); }

}  // namespace host
