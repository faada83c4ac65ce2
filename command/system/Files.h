// Files and folders as the command sees them, and the few files it writes
// itself. Paths are UTF-8 in both builds, so that names the plug-in's 8-bit
// code page cannot hold still work.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace host {

enum class TFileKind { Missing, File, Folder, Other };

// Which file it is, whatever name reaches it: all four are kept by a rename.
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

// What an entry is, a link not followed: kind is its target's (Missing when
// it leads nowhere, or with error when the entry cannot be examined).
struct TEntryInfo {
    TFileKind kind = TFileKind::Missing;
    bool link = false;
    std::string error;
};
TEntryInfo Examine(const std::string& path);

// A folder's entries with what the listing tells of them, so that a walk
// needs no look-up per file; only those not known need Examine. False with
// the reason when the folder cannot be opened or read to its end.
struct TFolderEntry {
    std::string name;
    TFileKind kind = TFileKind::Missing;
    bool link = false;
    bool known = false;
};
bool ListFolderEntries(const std::string& path, std::vector<TFolderEntry>& entries, std::string& error);
// The names alone, unsorted.
bool ListFolder(const std::string& path, std::vector<std::string>& names, std::string& error);

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
// system's reason. A change of letter case alone is checked against the
// folder's listing, as a system may ignore it.
bool MoveNoReplace(const std::string& from, const std::string& to, std::string& error);

// What a move reported done really did, by the folder's listing; listed is the
// name the folder gives the file, which a file system may cut or spell its own way.
enum class TMoveOutcome { Moved, Stayed, CaseKept, Unlisted };
TMoveOutcome ConfirmMove(const std::string& from, const std::string& to, std::string& listed, std::string& error);

bool RemoveFile(const std::string& path);

// A folder of the command's own and its parents; one of the user's, its parent
// already there; an empty folder taken away. Each false with the reason.
bool MakeFolders(const std::string& path, std::string& error);
bool MakeFolder(const std::string& path, std::string& error);
bool RemoveFolder(const std::string& path, std::string& error);

// The whole of a regular file.
bool ReadTextFile(const std::string& path, std::string& text, std::string& error);

// A record the command keeps: a full disk or a file-size limit never leaves half a line.
class TAppendFile {
public:
    TAppendFile() = default;
    ~TAppendFile() { Close(); }
    TAppendFile(const TAppendFile&) = delete;
    TAppendFile& operator=(const TAppendFile&) = delete;
    // A new file, readable by its owner alone.
    bool Create(const std::string& path, std::string& error);
    // An existing regular file, written at its end.
    bool Open(const std::string& path, std::string& error);
    bool IsOpen() const;
    std::uint64_t Size() const { return size_; }
    // On disk once true (a killed process keeps it); on failure cut back to where the text began.
    bool Append(const std::string& text, std::string& error);
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

// A lock one process at a time holds, given back by the system however the
// process ends, so that a killed run never blocks the next one.
class TLockFile {
public:
    enum class TResult { Taken, Busy, Failed };
    TLockFile() = default;
    ~TLockFile();
    TLockFile(const TLockFile&) = delete;
    TLockFile& operator=(const TLockFile&) = delete;
    // Busy: text is the holder's note (who, since when); Failed: the system's reason.
    TResult Take(const std::string& path, const std::string& note, std::string& text);

private:
#ifdef _WIN32
    void* handle_ = nullptr;
#else
    int fd_ = -1;
#endif
};

unsigned long ProcessId();

}  // namespace host
