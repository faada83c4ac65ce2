// The rename run.
#include "HostRun.h"

#include "HostCollect.h"
#include "HostJournal.h"
#include "HostPlan.h"
#include "HostPlugin.h"
#include "HostReport.h"
#include "HostSystem.h"
#include "platform.h"

namespace host {

namespace {

class TRenameRun {
public:
    TRenameRun(const TCommand& command, const THostContext& context)
        : command_(command), context_(context), console_(context), report_(MakeReporter(console_, command.json, command.quiet)),
          journal_(command, context, TimeStamp()) {}

    int Run() {
        std::string error;
        if (!LoadPlugin(plugin_, command_.pluginPath, context_, error)) {
            console_.Err(error);
            return kExitUsage;
        }
        const TDescriptor descriptor = plugin_.Descriptor();
        if (descriptor.optionsSize != static_cast<std::int32_t>(sizeof(PluginOptions))) {
            console_.Err("the plug-in's options record is " + std::to_string(descriptor.optionsSize) +
                         " bytes; this host fills " + std::to_string(sizeof(PluginOptions)));
            return kExitUsage;
        }
        std::string ansiPattern;
        if (!platform::Utf8ToAnsi(command_.pattern, ansiPattern)) {
            console_.Err("the pattern holds a character that Windows-1251, the plug-in's code page, cannot hold");
            return kExitUsage;
        }
        if (ansiPattern.size() > sizeof(PluginOptions::pattern)) {
            console_.Err("the pattern is longer than " + std::to_string(sizeof(PluginOptions::pattern)) + " bytes");
            return kExitUsage;
        }
        TOptionsRecord record(plugin_);
        if (record.Get() == nullptr) {
            console_.Err("the plug-in gave no options record");
            return kExitUsage;
        }
        record.Fill(ansiPattern, command_.tagSource);

        TCollector collector(descriptor.mask, command_.recursive, [this](const TFileReport& r) {
            if (r.result == TFileResult::Failed) {
                ++counts_.seen;
                ++counts_.failed;
            }
            report_->File(r);
        });
        for (const std::string& argument : command_.paths) collector.Add(argument);
        const std::vector<std::string>& files = collector.Files();
        for (std::size_t i = 0; i < files.size(); ++i) {
            console_.Progress(i, files.size());
            if (!HandleFile(record.Get(), files[i])) break;
        }
        console_.ClearProgress();
        // A journal of nothing renamed would only hide the run before it.
        if (counts_.renamed == 0 && !stopped_) journal_.Discard();
        TRunSummary summary;
        summary.counts = counts_;
        summary.dryRun = command_.dryRun;
        if (journal_.IsOpen() && counts_.renamed > 0) summary.journalPath = journal_.Path();
        report_->Summary(summary);
        if (counts_.failed > 0) return kExitFailed;
        // A preview fails where the real run would leave a file in place.
        if (command_.dryRun && counts_.stays > 0) return kExitFailed;
        return kExitSuccess;
    }

private:
    void Fail(const std::string& path, const std::string& reason) {
        ++counts_.seen;
        ++counts_.failed;
        TFileReport r;
        r.path = path;
        r.result = TFileResult::Failed;
        r.reason = reason;
        report_->File(r);
    }

    // False when the run must stop (the journal cannot be written).
    bool HandleFile(PluginOptions* record, const std::string& path) {
        std::string ansi;
        if (!platform::Utf8ToAnsi(path, ansi)) {
            Fail(path, "the name cannot be written in Windows-1251, the plug-in's code page; left alone");
            return true;
        }
        std::string reason;
        if (!CanRead(path, reason)) {
            Fail(path, "cannot read: " + reason + "; left alone");
            return true;
        }
        ++counts_.seen;
        TFileReport r;
        r.path = path;
        const std::string ansiNew = plugin_.Process(record, ansi, true);
        if (ansiNew == ansi) {
            ++counts_.unchanged;
            report_->File(r);
            return true;
        }
        r.newPath = platform::AnsiToUtf8(ansiNew);
        const TVerdict verdict = plan_.Judge(path, ansi, ansiNew, r.newPath);
        if (verdict.refused) ++counts_.refused;
        r.marks = verdict.marks;
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
        return Rename(record, ansi, r);
    }

    bool Rename(PluginOptions* record, const std::string& ansi, TFileReport& r) {
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
        const std::string ansiResult = plugin_.Process(record, ansi, false);
        if (ansiResult == ansi) {
            ++counts_.failed;
            r.result = TFileResult::Failed;
            r.marks.clear();
            if (Exists(r.newPath)) r.reason = "a file of that name exists";
            report_->File(r);
            if (journal_.IsOpen()) journal_.Write(kKindFailed, journalOld, ResolvedPath(r.newPath), TFileId {});
            return true;
        }
        ++renames_;
        if (context_.killAfterRenames > 0 && renames_ >= context_.killAfterRenames) KillSelf();
        r.newPath = platform::AnsiToUtf8(ansiResult);
        r.result = TFileResult::Renamed;
        ++counts_.renamed;
        if (journal_.IsOpen() && !journal_.Write(kKindRenamed, journalOld, ResolvedPath(r.newPath), id)) {
            console_.Err("cannot write the journal " + journal_.Path() + "; stopped after renaming " + r.path);
            stopped_ = true;
            return false;
        }
        report_->File(r);
        return true;
    }

    const TCommand& command_;
    const THostContext& context_;
    TConsole console_;
    std::unique_ptr<TRunReporter> report_;
    TPluginHost plugin_;
    TJournalWriter journal_;
    TRunPlan plan_;
    TCounts counts_;
    long renames_ = 0;
    bool stopped_ = false;  // by the journal
};

}  // namespace

int RunRename(const TCommand& command, const THostContext& context) { return TRenameRun(command, context).Run(); }

}  // namespace host
