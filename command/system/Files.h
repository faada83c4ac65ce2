// Files and folders as the command sees them: what an entry is, which file it
// is, what a folder lists, and the few files the command itself writes. Every
// path here is UTF-8 in both builds (the Windows side speaks UTF-16 to the
// system), so names the plug-in's 8-bit code page cannot hold still work.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace host {

enum class TFileKind { Missing, File, Folder, Other };

// What a file is, whatever name it is reached by: device and inode natively,
// volume serial number and file index on Windows, with its size and the time
// of its last change (rename keeps all four).
struct TFileId {
    std::uint64_t volume = 0, index = 0, size = 0;
    std::int64_t modified = 0;
    bool valid = false;
    bool operator==(const TFileId& o) const {
        return valid && o.valid && volume == o.volume && index == o.index && size == o.size && modified == o.modified;
    }
};

// Follows links; false when the file cannot be examined.
bool IdentityOf(const std::string& path, TFileId& id);
// Whether anything, a link to nothing included, stands at path.
bool Exists(const std::string& path);

// Names in a folder ("." and ".." left out), unsorted; false with a reason when
// the folder cannot be read.
bool ListFolder(const std::string& path, std::vector<std::string>& names, std::string& error);

// What an entry is, without following a link: a link's target kind is in
// kind (Missing when it leads nowhere). error holds the system's reason when
// the entry cannot be examined at all (kind Missing then too).
struct TEntryInfo {
    TFileKind kind = TFileKind::Missing;
    bool link = false;
    std::string error;
};
TEntryInfo Examine(const std::string& path);

// A folder's entries with what the listing itself tells of them, so that a
// walk needs no look-up per file; unknown ones (known false) need Examine.
struct TFolderEntry {
    std::string name;
    TFileKind kind = TFileKind::Missing;
    bool link = false;
    bool known = false;
};
bool ListFolderEntries(const std::string& path, std::vector<TFolderEntry>& entries, std::string& error);

// Whether names may be added to and removed from a folder; the system's reason when not.
bool CanChangeFolder(const std::string& path, std::string& error);

// The name under which the folder lists the entry at path; empty when none stands there.
std::string ListedName(const std::string& path);

// Whether the file opens for reading while others may read and write it.
bool CanRead(const std::string& path, std::string& error);

// Why the last system call failed (errno, or GetLastError on Windows).
std::string LastErrorText();
// ok, with that reason in error when not.
inline bool Told(bool ok, std::string& error) {
    if (!ok) error = LastErrorText();
    return ok;
}

// Moves a file to a new name, never over another file; false with the
// system's reason. A move that changes only the letter case is confirmed by
// the folder's listing (FixLetterCase), as a system may ignore it.
bool MoveNoReplace(const std::string& from, const std::string& to, std::string& error);
// After a move from one spelling of a name to another (letter case only):
// the name listed as to spells it, through a name of its own where the system
// ignored the move (Wine on a disk that tells case apart). False with why not.
bool FixLetterCase(const std::string& from, const std::string& to, std::string& error);

// What a move someone reported done really did, by the folder's listing: the
// file at its new name (listed: the name the folder gives it, which a file
// system may have cut or spelt its own way), still at its old name, or only
// its letter case kept by the system (after FixLetterCase tried); or no name
// listed at all.
enum class TMoveOutcome { Moved, Stayed, CaseKept, Unlisted };
TMoveOutcome ConfirmMove(const std::string& from, const std::string& to, std::string& listed, std::string& error);

// Removes a file; false when it cannot.
bool RemoveFile(const std::string& path);

// Creates the folder and its parents; false with the system's reason.
bool MakeFolders(const std::string& path, std::string& error);
// One folder of the user's, its parent already there, and an empty folder
// taken away; each false with the system's reason.
bool MakeFolder(const std::string& path, std::string& error);
bool RemoveFolder(const std::string& path, std::string& error);

// The whole of a regular file; false with the system's reason.
bool ReadTextFile(const std::string& path, std::string& text, std::string& error);

// A file the command keeps a record in: every text appended whole or not at
// all, so that a full disk or a file-size limit never leaves half a line.
class TAppendFile {
public:
    TAppendFile() = default;
    ~TAppendFile() { Close(); }
    TAppendFile(const TAppendFile&) = delete;
    TAppendFile& operator=(const TAppendFile&) = delete;
    // A new file, which must not exist yet (readable by its owner alone).
    bool Create(const std::string& path, std::string& error);
    // An existing regular file, written at its end.
    bool Open(const std::string& path, std::string& error);
    bool IsOpen() const;
    std::uint64_t Size() const { return size_; }
    // In the file system when it returns true (a killed process keeps it);
    // on failure the file is cut back to where the text began.
    bool Append(const std::string& text, std::string& error);
    // Cuts the file to its first size bytes.
    bool CutTo(std::uint64_t size, std::string& error);
    void Close();

private:
#ifdef _WIN32
    void* handle_ = nullptr;
#else
    int fd_ = -1;
#endif
    std::uint64_t size_ = 0;
};

// A lock that one process at a time holds, given back by the system when the
// process ends however it ends (a killed run never blocks the next one). The
// holder's note (who holds it, since when) stands in the file for the others.
class TLockFile {
public:
    enum class TResult { Taken, Busy, Failed };
    TLockFile() = default;
    ~TLockFile();
    TLockFile(const TLockFile&) = delete;
    TLockFile& operator=(const TLockFile&) = delete;
    // Busy: text is the holder's note; Failed: the system's reason.
    TResult Take(const std::string& path, const std::string& note, std::string& text);

private:
#ifdef _WIN32
    void* handle_ = nullptr;
#else
    int fd_ = -1;
#endif
};

// This process's number, as the system lists it.
unsigned long ProcessId();

}  // namespace host
