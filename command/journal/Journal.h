// The undo journal, with one owner: TJournal writes it for a run, reads it
// for undo and history, and notes what undo put back; journal names are made
// and taken apart here too.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "System.h"

namespace host {

// A journal is text, one step a line, "kind<TAB>old<TAB>new[<TAB>identity]",
// each line ended by a line feed; a line without one was cut short as it was
// written and is never used. Paths are absolute with their folders as the
// system resolves them, UTF-8, with control characters and "%" written as
// %XX; the identity (volume:index:size:modified, decimal) is what undo checks
// before it moves a file back. A folder's line is "kind<TAB>folder". Lines
// starting with "#" are notes. A kind of line that a version does not know is
// reported by it, never guessed at.
constexpr const char* kJournalHeader = "# pelmora journal";
// Steps: "renaming" before the plug-in moves a file, then "renamed" with the
// name it really gave, or "failed"; "undone" once undo has put it back.
constexpr const char* kKindRenaming = "renaming";
constexpr const char* kKindRenamed = "renamed";
constexpr const char* kKindFailed = "failed";
constexpr const char* kKindUndone = "undone";
// Folders: "making" before the run makes one, "removing" before it removes
// one it emptied; undo's "undone" line names the folder twice.
constexpr const char* kKindMaking = "making";
constexpr const char* kKindRemoving = "removing";
// Appended by every undo that has gone through a journal.
constexpr const char* kUndoneNote = "# undone ";

// One step as a line; the identity only when it is valid, no new path for a folder.
std::string JournalLine(std::string_view kind, const std::string& oldPath, const std::string& newPath,
                        const TFileId& id = TFileId {});

enum class TEntryState { Pending, Done, Failed };
// One rename of a run, as its lines tell it.
struct TJournalEntry {
    std::string oldPath;
    std::string newPath;
    TEntryState state = TEntryState::Pending;
    bool undone = false;
    bool damaged = false;  // a line of this file is incomplete: undo leaves it alone
    TFileId id;
};

// A folder a run made or removed, in the order of its lines.
struct TJournalFolder {
    std::string path;
    bool made = false;  // else removed
    bool undone = false;
};

class TJournal {
public:
    TJournal() = default;
    ~TJournal() { Close(); }
    TJournal(const TJournal&) = delete;
    TJournal& operator=(const TJournal&) = delete;

    // Load: false with the message to print when the file cannot be read or is
    // not a journal. Parse takes the text itself.
    bool Load(const std::string& path, std::string& error);
    bool Parse(const std::string& text);
    const std::string& Path() const { return path_; }
    const std::vector<TJournalEntry>& Entries() const { return entries_; }
    const std::vector<TJournalFolder>& Folders() const { return folders_; }
    bool UndoRan() const { return undoRan_; }
    // A text per line that could not be used: "journal line 7 is incomplete; …".
    const std::vector<std::string>& Problems() const { return problems_; }
    // A line that could not be used may stand for a file: undo cannot be whole.
    bool Damaged() const { return damaged_; }

    // A run's journal is made in folder at its first step, named after the
    // run's start; --journal names a new file or a journal to add to.
    bool Create(const std::string& folder, const std::string& stamp, std::string& error);
    bool OpenNamed(const std::string& path, const std::string& stamp, std::string& error);
    // The loaded journal opened to add undo's steps; a line cut short at its
    // end is taken off first, so that nothing is added to half a line.
    bool OpenLoaded(std::string& error);
    bool IsOpen() const { return file_.IsOpen(); }
    // The whole line in the file system, or false with the reason and nothing of it.
    bool Write(std::string_view kind, const std::string& oldPath, const std::string& newPath, const TFileId& id,
               std::string& error);
    // The line last written taken out again, for a step that did not happen
    // after all; false when it stays (undo then reads it as written).
    bool TakeBackLast();
    bool NoteUndone(std::string& error);
    // A journal this object made that holds no step is removed.
    void Close();
    // Removed when this object made it (a run that renamed nothing).
    void Discard();

private:
    bool Append(const std::string& text, std::string& error);
    bool WriteHeader(const std::string& stamp, std::string& error);
    void ReadLine(std::string_view line, std::size_t number);

    std::string path_;
    std::vector<TJournalEntry> entries_;
    std::vector<TJournalFolder> folders_;
    std::vector<std::string> problems_;
    bool undoRan_ = false;
    bool damaged_ = false;
    std::size_t wholeSize_ = 0;  // bytes up to the end of the last whole line
    TAppendFile file_;
    bool made_ = false;
    std::size_t steps_ = 0;  // written by this object
    std::uint64_t lastLineStart_ = 0;
};

// Journal names: "YYYY-MM-DD_hh-mm-ss.mmmZ.journal" after the run's start
// (UTC), "-N" before the extension for a second run of the same millisecond.
std::string TimeStamp();
std::string JournalName(const std::string& stamp, unsigned sequence);
// A folder's journals among its names, oldest first.
std::vector<std::string> JournalsInOrder(const std::vector<std::string>& names);
// The start of a journal's run as history shows it, "2026-12-08 18:49:10";
// the name without its extension when it is not one this command made.
std::string JournalStart(const std::string& name);

}  // namespace host
