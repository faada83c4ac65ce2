// The rename run as a whole.
#include "Rename.h"

#include <algorithm>
#include <chrono>
#include <thread>

#include "PathText.h"
#include "ReadAhead.h"
#include "System.h"

namespace host {

int TRenameRun::Run() {
    const auto refuse = [this](const std::string& why, int status) {
        console_.Err(why);
        return status;
    };
    std::string error;
    if (!LoadPlugin(plugin_, command_.pluginPath, context_, error)) return refuse(error, kExitUsage);
    const TDescriptor descriptor = plugin_.Descriptor();
    // Either delimiter makes a folder on both systems; the plug-in is given this system's.
    std::string pattern = command_.pattern;
    folders_ = pattern.find_first_of("/\\") != std::string::npos;
    if (folders_) {
        std::replace_if(pattern.begin(), pattern.end(), [](char c) { return c == '/' || c == '\\'; },
                        kPathDelimiter);
        plan_.OrganiseWith(command_.pattern);
    }
    std::string ansiPattern;
    if (!AnsiPattern(descriptor, pattern, ansiPattern, error)) return refuse(error, kExitUsage);
    TOptionsRecord record(plugin_);
    if (record.Get() == nullptr) return refuse("the plug-in gave no options record", kExitUsage);
    record.Fill(ansiPattern, command_.tagSource);
    sense_.emplace(ansiPattern, command_.tagSource);
    // Each further record only where the plug-in gave one.
    const auto extra = [this](std::optional<TOptionsRecord>& r, const std::string& ansi) {
        if (r.emplace(plugin_).Get() == nullptr) r.reset();
        else r->Fill(ansi, command_.tagSource);
    };
    if (!sense_->ProbePattern().empty()) extra(probe_, sense_->ProbePattern());
    const std::string& question = sense_->TagQuestion();
    if (!question.empty() && ansiPattern.size() + question.size() <= sizeof(PluginOptions::pattern)) {
        extra(asked_, ansiPattern + question);
    }
    // A preview changes nothing and may run beside anything.
    if (!command_.dryRun && !lock_.Take(context_, "a rename", error)) return refuse(error, kExitFailed);
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
        report_.File(r);
    });
    // The collector's listings serve the plan too: each folder is listed once.
    collector.OnListed([this](const std::string& folder, std::vector<std::string> keys) {
        plan_.KnowFolder(folder, std::move(keys));
    });
    for (const std::string& argument : command_.paths) {
        if (console_.Broken() || Interrupted()) break;
        collector.Add(argument);
        if (folders_) plan_.Protect(argument);
    }
    const std::vector<TCollected>& files = collector.Files();
    TReadAhead readAhead(files, command_.readAhead, context_.readAheadCached);  // stopped on every way out of the loop
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
    if (!stop_.empty()) {
        Summarise(done, files.size());
        return signal_ != 0 ? kExitSignal + signal_ : kExitFailed;
    }
    if (counts_.failed > 0) return kExitFailed;
    // A preview fails where the real run would leave a file in place.
    if (command_.dryRun && counts_.stays > 0) return kExitFailed;
    return kExitSuccess;
}

bool TRenameRun::Interrupted() {
    if (signal_ == 0 && context_.stopSignal) signal_ = context_.stopSignal();
    if (signal_ != 0 && stop_.empty()) stop_ = "interrupted by " + SignalName(signal_);
    return signal_ != 0;
}

void TRenameRun::Summarise(std::size_t done, std::size_t total) {
    TRunSummary summary;
    summary.counts = counts_;
    summary.dryRun = command_.dryRun;
    summary.folders = folders_;
    if (journal_.IsOpen() && (!stop_.empty() || counts_.renamed > 0)) summary.journalPath = journal_.Path();
    if (!stop_.empty()) {
        summary.stopped = stop_;
        summary.filesDone = done;
        summary.filesTotal = total;
        summary.noJournal = command_.noJournal;
    }
    report_.Summary(summary);
}

void TRenameRun::Folder(const std::string& folder, bool made) {
    ++(made ? counts_.foldersMade : counts_.foldersRemoved);
    report_.Folder({folder, made, command_.dryRun});
}

TRenameRun::TRemoval TRenameRun::RemoveIfEmpty(const std::string& folder, std::string& error) {
    std::vector<std::string> names;
    if (!ListFolder(folder, names, error) || !names.empty()) return TRemoval::Kept;
    if (!journal_.Folder(kKindRemoving, plan_.Resolved(folder), error)) return TRemoval::Stop;
    if (!RemoveFolder(folder, error)) return TRemoval::Failed;
    Folder(folder, false);
    return TRemoval::Removed;
}

void TRenameRun::RemoveEmptied() {
    std::string error;
    for (const std::string& folder : plan_.EmptiedCandidates()) {
        if (command_.dryRun) {
            if (plan_.WouldEmpty(folder)) Folder(folder, false);
            continue;
        }
        switch (RemoveIfEmpty(folder, error)) {
        case TRemoval::Stop: stop_ = error; return;
        case TRemoval::Failed: console_.Err(folder + ": emptied, but not removed: " + error); break;
        case TRemoval::Kept:
        case TRemoval::Removed: break;
        }
    }
}

int RunRename(const TCommand& command, const THostContext& context) { return TRenameRun(command, context).Run(); }

}  // namespace host
