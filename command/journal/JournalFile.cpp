// The journal's file: read once, made at a run's first step, each line in the
// file system whole before the step it tells of.
#include "Journal.h"
#include "PathText.h"

namespace host {

bool TJournal::Load(const std::string& path, std::string& error) {
    path_ = path;
    std::string text, reason;
    if (!ReadTextFile(path, text, reason)) {
        error = path + ": cannot read the journal: " + reason;
        return false;
    }
    if (!Parse(text)) {
        error = path + ": not a pelmora journal";
        return false;
    }
    return true;
}

bool TJournal::Create(const std::string& folder, const std::string& stamp, std::string& error) {
    std::string reason;
    if (!MakeFolders(folder, reason)) {
        error = "cannot make the journal folder " + folder + ": " + reason + "; use --journal FILE or --no-journal";
        return false;
    }
    constexpr unsigned kMaxSequence = 1000;
    for (unsigned sequence = 0; sequence < kMaxSequence; ++sequence) {
        const std::string path = JoinPath(folder, JournalName(stamp, sequence));
        if (Exists(path)) continue;
        if (!file_.Create(path, reason)) {
            if (Exists(path)) continue;  // another run of the same millisecond
            break;
        }
        path_ = path;
        return WriteHeader(stamp, error);
    }
    error = "cannot create a journal in " + folder + (reason.empty() ? "" : ": " + reason);
    return false;
}

bool TJournal::OpenNamed(const std::string& path, const std::string& stamp, std::string& error) {
    std::string reason;
    if (Exists(path)) {
        if (Load(path, reason)) return OpenLoaded(error);
        error = path + " exists and is not a pelmora journal; it is left alone";
        return false;
    }
    path_ = path;
    if (file_.Create(path, reason)) return WriteHeader(stamp, error);
    error = "cannot write the journal " + path + ": " + reason;
    return false;
}

bool TJournal::OpenLoaded(std::string& error) {
    std::string reason;
    // A bare header without its line end (saved so by an editor) gets it; it is
    // not cut away, since lines added after no header would never be read.
    const auto fromWholeLine = [&] {
        if (wholeSize_ == 0) return file_.Append("\n", reason);
        return file_.Size() <= wholeSize_ || file_.CutTo(wholeSize_, reason);
    };
    if (!file_.Open(path_, reason) || !fromWholeLine()) {
        file_.Close();
        error = "cannot write the journal " + path_ + ": " + reason;
        return false;
    }
    return true;
}

bool TJournal::WriteHeader(const std::string& stamp, std::string& error) {
    made_ = true;
    if (Append(std::string(kJournalHeader) + "\n# started " + stamp + "\n", error)) return true;
    // A journal that holds not even its header would only be listed as no journal.
    Discard();
    return false;
}

bool TJournal::Append(const std::string& text, std::string& error) {
    std::string reason;
    if (file_.Append(text, reason)) return true;
    error = "cannot write the journal " + path_ + ": " + reason;
    return false;
}

bool TJournal::Write(std::string_view kind, const std::string& oldPath, const std::string& newPath,
                     const TFileId& id, std::string& error) {
    const std::uint64_t lineStart = file_.Size();
    if (!Append(JournalLine(kind, oldPath, newPath, id), error)) return false;
    lastLineStart_ = lineStart;
    ++steps_;
    return true;
}

bool TJournal::TakeBackLast() {
    std::string ignored;
    if (steps_ == 0 || !file_.CutTo(lastLineStart_, ignored)) return false;
    --steps_;
    return true;
}

bool TJournal::NoteUndone(std::string& error) { return Append(std::string(kUndoneNote) + TimeStamp() + "\n", error); }

void TJournal::Close() {
    if (made_ && steps_ == 0) Discard();
    file_.Close();
}

void TJournal::Discard() {
    file_.Close();
    if (made_) RemoveFile(path_);
    made_ = false;
}

}  // namespace host
