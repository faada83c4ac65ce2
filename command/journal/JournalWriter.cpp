// The journal file: made at a run's first rename, flushed after every step.
#include <vector>

#include "Journal.h"
#include "PathText.h"
#include "System.h"
#include "Text.h"

namespace host {

namespace {

constexpr unsigned kMaxJournalSequence = 1000;
constexpr std::size_t kJournalReadChunk = 65536;

}  // namespace

bool ReadWholeFile(const std::string& path, std::string& text) {
    std::FILE* file = OpenForReading(path);
    if (file == nullptr) return false;
    text.clear();
    std::vector<char> chunk(kJournalReadChunk);
    for (std::size_t n; (n = std::fread(chunk.data(), 1, chunk.size(), file)) > 0;) text.append(chunk.data(), n);
    const bool ok = std::ferror(file) == 0;
    std::fclose(file);
    return ok;
}

bool TJournalWriter::Open(std::string& error) {
    if (file_ != nullptr) return true;
    if (!command_.journalPath.empty()) return OpenNamed(command_.journalPath, error);
    if (context_.stateFolder.empty()) {
        error = "no folder for the undo journal (HOME is not set); use --journal FILE or --no-journal";
        return false;
    }
    if (!MakeFolders(context_.stateFolder)) {
        error = "cannot make the journal folder " + context_.stateFolder + "; use --journal FILE or --no-journal";
        return false;
    }
    for (unsigned sequence = 0; sequence < kMaxJournalSequence; ++sequence) {
        const std::string path = JoinPath(context_.stateFolder, JournalName(stamp_, sequence));
        if (Exists(path)) continue;
        file_.reset(CreateNewFile(path));
        if (file_ != nullptr) {
            path_ = path;
            created_ = true;
            return WriteHeader(error);
        }
    }
    error = "cannot create a journal in " + context_.stateFolder;
    return false;
}

bool TJournalWriter::Write(const char* kind, const std::string& oldPath, const std::string& newPath,
                           const TFileId& id) {
    const std::string line = JournalLine(kind, oldPath, newPath, id);
    return std::fputs(line.c_str(), file_.get()) >= 0 && FlushFile(file_.get());
}

void TJournalWriter::Discard() {
    file_.reset();
    if (created_) RemoveFile(path_);
    created_ = false;
    path_.clear();
}

bool TJournalWriter::OpenNamed(const std::string& path, std::string& error) {
    if (Exists(path)) {
        std::string text;
        if (!ReadWholeFile(path, text) || !StartsWith(text, kJournalHeader)) {
            error = path + " exists and is not a pelmora journal; it is left alone";
            return false;
        }
        file_.reset(OpenForAppending(path));
        path_ = path;
        if (file_ != nullptr) return true;
    } else {
        file_.reset(CreateNewFile(path));
        path_ = path;
        created_ = file_ != nullptr;
        if (file_ != nullptr) return WriteHeader(error);
    }
    error = "cannot write the journal " + path;
    return false;
}

bool TJournalWriter::WriteHeader(std::string& error) {
    const std::string header = std::string(kJournalHeader) + "\n# started " + stamp_ + "\n";
    if (std::fputs(header.c_str(), file_.get()) >= 0 && FlushFile(file_.get())) return true;
    error = "cannot write the journal " + path_;
    return false;
}

}  // namespace host
