// The undo journal: its format, its names, and the writer a real run keeps.
#pragma once

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "CommandLine.h"
#include "Context.h"
#include "System.h"

namespace host {

// One line per step, "kind<TAB>old<TAB>new<TAB>identity", paths absolute with
// their folders as the system resolves them, UTF-8, with control characters
// and "%" written as %XX; the identity (volume:index:size:modified, decimal)
// is what undo checks before it moves a file back. Journals of earlier
// versions have no identity field.
constexpr const char* kJournalHeader = "# pelmora journal";
// Steps: "renaming" before the plug-in moves a file, then "renamed" with the
// name it really gave or "failed"; "undone" once undo has put it back.
constexpr const char* kKindRenaming = "renaming";
constexpr const char* kKindRenamed = "renamed";
constexpr const char* kKindFailed = "failed";
constexpr const char* kKindUndone = "undone";
constexpr const char* kJournalExtension = ".journal";
// Appended by every undo that has gone through a journal, so that the next
// --undo goes on to the run before it.
constexpr const char* kUndoneNote = "# undone ";
std::string JournalLine(const std::string& kind, const std::string& oldPath, const std::string& newPath,
                        const TFileId& id = TFileId {});

enum class TEntryState { Pending, Done, Failed };
struct TJournalEntry {
    std::string oldPath;
    std::string newPath;
    TEntryState state = TEntryState::Pending;
    bool undone = false;
    TFileId id;  // invalid in journals of earlier versions
};
struct TJournal {
    std::vector<TJournalEntry> entries;
    bool undoRan = false;
};
// False when the text is not a journal.
bool ParseJournal(const std::string& text, TJournal& journal);
bool ParseJournal(const std::string& text, std::vector<TJournalEntry>& entries);
// The newest of a folder's journal names; empty when there is none.
std::string NewestJournal(const std::vector<std::string>& names);
// A folder's journal names, oldest first.
std::vector<std::string> JournalsInOrder(const std::vector<std::string>& names);
// A journal name for a start time (UTC "YYYY-MM-DD_hh-mm-ss.mmmZ").
std::string JournalName(const std::string& stamp, unsigned sequence);
std::string TimeStamp();

struct TFileCloser {
    void operator()(std::FILE* file) const {
        if (file != nullptr) std::fclose(file);
    }
};
using TFilePtr = std::unique_ptr<std::FILE, TFileCloser>;

bool ReadWholeFile(const std::string& path, std::string& text);

class TJournalWriter {
public:
    TJournalWriter(const TCommand& command, const THostContext& context, std::string stamp)
        : command_(command), context_(context), stamp_(std::move(stamp)) {}

    const std::string& Path() const { return path_; }
    bool IsOpen() const { return file_ != nullptr; }

    // Made at the first rename, so that a run that renames nothing leaves no
    // journal to shadow the one before it.
    bool Open(std::string& error);
    bool Write(const char* kind, const std::string& oldPath, const std::string& newPath, const TFileId& id);
    // Closes the journal, and removes it when this run made it: for a run
    // that renamed nothing.
    void Discard();

private:
    bool OpenNamed(const std::string& path, std::string& error);
    bool WriteHeader(std::string& error);

    const TCommand& command_;
    const THostContext& context_;
    std::string stamp_;
    std::string path_;
    TFilePtr file_;
    bool created_ = false;
};

}  // namespace host
