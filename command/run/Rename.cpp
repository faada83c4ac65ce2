// The rename run.
#include "Rename.h"

#include "Collect.h"
#include "Journal.h"
#include "PathText.h"
#include "Plan.h"
#include "PluginHost.h"
#include "ReadAhead.h"
#include "Report.h"
#include "System.h"
#include "platform.h"

namespace host {

namespace {

class TRenameRun {
public:
    TRenameRun(const TCommand& command, const THostContext& context)
        : command_(command), context_(context), console_(context),
          report_(MakeReporter(console_, command.json, command.quiet)), journal_(command, context, TimeStamp()),
          plan_(command.allowPosixNames) {}

    int Run() {
        std::string error;
        if (!LoadPlugin(plugin_, command_.pluginPath, context_, error)) {
            console_.Err(error);
            return kExitUsage;
        }
        const TDescriptor descriptor = plugin_.Descriptor();
        std::string ansiPattern;
        if (!AnsiPattern(descriptor, command_.pattern, ansiPattern, error)) {
            console_.Err(error);
            return kExitUsage;
        }
        TOptionsRecord record(plugin_);
        if (record.Get() == nullptr) {
            console_.Err("the plug-in gave no options record");
            return kExitUsage;
        }
        record.Fill(ansiPattern, command_.tagSource);
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
            if (console_.Broken()) break;
            collector.Add(argument);
        }
        const std::vector<TCollected>& files = collector.Files();
        plan_.Expect(files.size());
        TReadAhead readAhead(files, command_.readAhead);  // stopped on every way out of the loop
        std::size_t done = 0;
        for (; done < files.size() && !console_.Broken(); ++done) {
            console_.Progress(done, files.size());
            readAhead.Reach(done);
            if (!HandleFile(record.Get(), files[done])) break;
        }
        readAhead.Stop();
        console_.ClearProgress();
        // A journal of nothing renamed would only hide the run before it.
        if (counts_.renamed == 0 && !stopped_) journal_.Discard();
        if (!console_.Broken()) {
            Summarise(done, files.size());
            console_.Flush();
        }
        // Output that cannot be written ends the run before the next file.
        if (console_.Broken()) {
            Summarise(done, files.size());
            return kExitFailed;
        }
        if (counts_.failed > 0) return kExitFailed;
        // A preview fails where the real run would leave a file in place.
        if (command_.dryRun && counts_.stays > 0) return kExitFailed;
        return kExitSuccess;
    }

private:
    // A file of the run and the 8-bit path the plug-in is handed for it: the
    // whole path or, when its folder's name is beyond Windows-1251, the name
    // alone from inside that folder, as a host working there would hand it.
    struct TRunFile {
        const std::string& path;
        std::string ansi;
        bool inFolder = false;
    };

    // The counts, or, once output cannot be written, why the run stopped and where.
    void Summarise(std::size_t done, std::size_t total) {
        TRunSummary summary;
        summary.counts = counts_;
        summary.dryRun = command_.dryRun;
        if (console_.Broken()) {
            if (journal_.IsOpen()) summary.journalPath = journal_.Path();
            summary.stopped = "cannot write to " + std::string(console_.BrokenStream());
            summary.filesDone = done;
            summary.filesTotal = total;
            summary.noJournal = command_.noJournal;
        } else if (journal_.IsOpen() && counts_.renamed > 0) {
            summary.journalPath = journal_.Path();
        }
        report_->Summary(summary);
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

    // One process call, from inside the file's folder when it is handed over
    // by name; false with a reason when the folder cannot be entered or left.
    bool Process(PluginOptions* record, const TRunFile& file, bool preview, std::string& ansiResult,
                 std::string& error) {
        if (!file.inFolder) {
            plugin_.Process(record, file.ansi, preview, ansiResult);
            return true;
        }
        if (!workingFolder_.Enter(ParentOf(file.path), error)) return false;
        plugin_.Process(record, file.ansi, preview, ansiResult);
        if (workingFolder_.Leave()) return true;
        error = "cannot return to the working folder";
        return false;
    }

    // The UTF-8 path of the plug-in's result, into path.
    static void PathOf(const TRunFile& file, const std::string& ansiResult, std::string& path) {
        path = file.inFolder ? JoinPath(ParentOf(file.path), "") : std::string();
        platform::AppendAnsiAsUtf8(path, ansiResult);
    }

    // False when the run must stop (the journal or the working folder fails).
    bool HandleFile(PluginOptions* record, const TCollected& collected) {
        const std::string& path = collected.path;
        TRunFile file {path, {}, false};
        if (!platform::Utf8ToAnsi(path, file.ansi)) {
            if (!platform::Utf8ToAnsi(NameOf(path), file.ansi)) {
                Fail(path, "the name cannot be written in Windows-1251, the plug-in's code page; left alone");
                return true;
            }
            file.inFolder = true;
        }
        std::string ansiNew, error;
        if (!Process(record, file, true, ansiNew, error)) {
            Fail(path, error + "; stopped");
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
        PathOf(file, ansiNew, r.newPath);
        TVerdict verdict = plan_.Judge(path, collected.key, file.ansi, ansiNew, r.newPath);
        if (verdict.refused) ++counts_.refused;
        r.marks = std::move(verdict.marks);
        if (command_.dryRun) {
            r.result = verdict.stays ? TFileResult::WouldStay : TFileResult::ToRename;
            ++(verdict.stays ? counts_.stays : counts_.renamed);
            report_->File(r);
            return true;
        }
        if (verdict.stays) {
            ++counts_.failed;
            r.result = TFileResult::Failed;
            report_->File(r);
            return true;
        }
        return Rename(record, file, r);
    }

    // Why a move that the plug-in did not make failed, as far as the disk tells.
    std::string WhyNotMoved(const std::string& path, const std::string& newPath) {
        const TEntryInfo old = Examine(path);
        if (old.kind == TFileKind::Missing) return "the file is gone" + (old.error.empty() ? "" : ": " + old.error);
        if (NameKey(path) != NameKey(newPath) && Exists(newPath)) return "a file of that name exists";
        plan_.ForgetFolders();  // the disk may have changed since the preview's look
        for (const std::string& folder : {ParentOf(newPath), ParentOf(path)}) {
            const std::string& refusal = plan_.FolderRefusal(folder);
            if (!refusal.empty()) return refusal;
        }
        std::string reason;
        if (!CanRead(path, reason)) return "cannot read: " + reason;
        return "the system refused the move";
    }

    bool Rename(PluginOptions* record, const TRunFile& file, TFileReport& r) {
        // Journaled by what the file is and where the system puts it, so that
        // undo can never take another file for it.
        const std::string journalOld = ResolvedPath(r.path);
        TFileId id;
        IdentityOf(r.path, id);
        if (!command_.noJournal) {
            std::string error;
            // Written before the move, so a run killed inside process still
            // leaves the rename on record.
            if (!journal_.Open(error) || !journal_.Write(kKindRenaming, journalOld, ResolvedPath(r.newPath), id)) {
                console_.Err(error.empty() ? "cannot write the journal " + journal_.Path() : error);
                console_.Err("stopped before renaming " + r.path);
                ++counts_.failed;
                stopped_ = true;
                return false;
            }
        }
        std::string ansiResult, error;
        if (!Process(record, file, false, ansiResult, error)) {
            Fail(r.path, error + "; stopped");
            stopped_ = true;
            return false;
        }
        if (ansiResult == file.ansi) {
            ++counts_.failed;
            r.result = TFileResult::Failed;
            r.marks.clear();
            r.reason = WhyNotMoved(r.path, r.newPath);
            report_->File(r);
            return JournalStep(kKindFailed, journalOld, ResolvedPath(r.newPath), r.path, TFileId {});
        }
        ++renames_;
        if (context_.killAfterRenames > 0 && renames_ >= context_.killAfterRenames) KillSelf();
        PathOf(file, ansiResult, r.newPath);
        r.result = TFileResult::Renamed;
        // The name the folder lists is the truth: a file system layer may cut
        // a name it cannot hold and still report the move done.
        const std::string listed = ListedName(r.newPath);
        const std::string listedPath = listed.empty() ? std::string() : JoinPath(ParentOf(r.newPath), listed);
        if (listed.empty() && Exists(r.path)) {
            ++counts_.failed;
            r.result = TFileResult::Failed;
            r.marks.clear();
            r.reason = "the plug-in reported the move, but the file stays";
            report_->File(r);
            return JournalStep(kKindFailed, journalOld, ResolvedPath(r.newPath), r.path, TFileId {});
        }
        ++counts_.renamed;
        if (listed.empty()) {
            ++counts_.failed;
            r.marks.push_back("no file stands at this name");
        } else if (NameKey(listedPath) != NameKey(r.newPath)) {
            ++counts_.failed;
            r.marks.push_back("the folder lists it as " + listed);
            r.newPath = listedPath;
        }
        if (!JournalStep(kKindRenamed, journalOld, ResolvedPath(r.newPath), r.path, id)) return false;
        report_->File(r);
        return true;
    }

    // False, with the run stopped, when the journal cannot be written.
    bool JournalStep(const char* kind, const std::string& oldPath, const std::string& newPath, const std::string& path,
                     const TFileId& id) {
        if (!journal_.IsOpen() || journal_.Write(kind, oldPath, newPath, id)) return true;
        console_.Err("cannot write the journal " + journal_.Path() + "; stopped after " + path);
        stopped_ = true;
        return false;
    }

    const TCommand& command_;
    const THostContext& context_;
    TConsole console_;
    std::unique_ptr<TRunReporter> report_;
    TPluginHost plugin_;
    TJournalWriter journal_;
    TRunPlan plan_;
    TCounts counts_;
    TWorkingFolder workingFolder_;
    long renames_ = 0;
    bool stopped_ = false;  // with a rename on record that may have happened
};

}  // namespace

int RunRename(const TCommand& command, const THostContext& context) { return TRenameRun(command, context).Run(); }

}  // namespace host
