// The journal's file: read once, made at a run's first step, each line in the
// file system whole before the step it tells of.
#include "Journal.h"
#include "PathText.h"

namespace host {

namespace {

constexpr unsigned kMaxJournalSequence = 1000;

}  // namespace

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
    for (unsigned sequence = 0; sequence < kMaxJournalSequence; ++sequence) {
        const std::string path = JoinPath(folder, JournalName(stamp, sequence));
        if (Exists(path)) continue;
        if (!file_.Create(path, reason)) {
            if (Exists(path)) continue;  // another run of the same millisecond
            break;
        }
        path_ = path;
        made_ = true;
        return WriteHeader(stamp, error);
    }
    error = "cannot create a journal in " + folder + (reason.empty() ? "" : ": " + reason);
    return false;
}

bool TJournal::OpenNamed(const std::string& path, const std::string& stamp, std::string& error) {
    if (!Exists(path)) {
        std::string reason;
        path_ = path;
        if (!file_.Create(path, reason)) {
            error = "cannot write the journal " + path + ": " + reason;
            return false;
        }
        made_ = true;
        return WriteHeader(stamp, error);
    }
    std::string reason;
    if (!Load(path, reason)) {
        error = path + " exists and is not a pelmora journal; it is left alone";
        return false;
    }
    return OpenLoaded(error);
}

bool TJournal::OpenLoaded(std::string& error) {
    std::string reason;
    if (!file_.Open(path_, reason) || (file_.Size() > wholeSize_ && !file_.CutTo(wholeSize_, reason))) {
        file_.Close();
        error = "cannot write the journal " + path_ + ": " + reason;
        return false;
    }
    return true;
}

bool TJournal::WriteHeader(const std::string& stamp, std::string& error) {
    std::string reason;
    if (file_.Append(std::string(kJournalHeader) + "\n# started " + stamp + "\n", reason)) return true;
    // A journal that holds not even its header would only be listed as no journal.
    error = "cannot write the journal " + path_ + ": " + reason;
    Discard();
    return false;
}

bool TJournal::Write(std::string_view kind, const std::string& oldPath, const std::string& newPath,
                     const TFileId& id, std::string& error) {
    std::string reason;
    if (file_.Append(JournalLine(kind, oldPath, newPath, id), reason)) {
        ++steps_;
        return true;
    }
    error = "cannot write the journal " + path_ + ": " + reason;
    return false;
}

bool TJournal::NoteUndone(std::string& error) {
    std::string reason;
    if (file_.Append(std::string(kUndoneNote) + TimeStamp() + "\n", reason)) return true;
    error = "cannot write the journal " + path_ + ": " + reason;
    return false;
}

void TJournal::Close() {
    if (made_ && steps_ == 0) {
        Discard();
        return;
    }
    file_.Close();
}

void TJournal::Discard() {
    file_.Close();
    if (made_) RemoveFile(path_);
    made_ = false;
}

}  // namespace host
