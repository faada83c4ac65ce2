// Windows side of the files the command writes itself: its journals, each
// text appended whole, and the lock that keeps two runs apart.
#define STRICT
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include "Files.h"
#include "Shared.h"

namespace host {

namespace {

bool IsFolder(const std::string& path) {
    const DWORD attributes = GetFileAttributesW(Wide(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool IsFile(const std::string& path) {
    const DWORD attributes = GetFileAttributesW(Wide(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE)) == 0;
}

}  // namespace

bool MakeFolders(const std::string& path, std::string& error) {
    for (std::size_t i = 1; i <= path.size(); ++i) {
        if (i == path.size() || path[i] == '\\' || path[i] == '/') {
            const std::string prefix = path.substr(0, i);
            // A drive ("C:") or a share root is not made, only passed.
            if (prefix.empty() || prefix.back() == ':' || IsFolder(prefix)) continue;
            if (!CreateDirectoryW(Wide(prefix).c_str(), nullptr)) {
                // Something other than a folder stands there.
                const DWORD code = GetLastError();
                error = code == ERROR_ALREADY_EXISTS ? std::string("Not a directory") : ErrorText(code);
                return false;
            }
        }
    }
    if (IsFolder(path)) return true;
    error = "Not a directory";
    return false;
}

bool MakeFolder(const std::string& path, std::string& error) {
    return Told(CreateDirectoryW(Wide(path).c_str(), nullptr) != 0, error);
}

bool RemoveFolder(const std::string& path, std::string& error) {
    return Told(RemoveDirectoryW(Wide(path).c_str()) != 0, error);
}

bool ReadTextFile(const std::string& path, std::string& text, std::string& error) {
    text.clear();
    const HANDLE file = OpenToRead(path);
    if (!Told(file != INVALID_HANDLE_VALUE, error)) return false;
    bool ok = GetFileType(file) == FILE_TYPE_DISK;
    if (!ok) error = "not a regular file";
    char chunk[65536];
    for (DWORD got = 0; ok && (ok = ReadFile(file, chunk, sizeof chunk, &got, nullptr) != 0) && got > 0;) {
        text.append(chunk, got);
    }
    if (!ok && error.empty()) error = ErrorText(GetLastError());
    CloseHandle(file);
    return ok;
}

namespace {

HANDLE OpenToWrite(const std::string& path, DWORD disposition) {
    return CreateFileW(Wide(path).c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, disposition,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
}

bool SetEnd(HANDLE file, std::uint64_t size) {
    LARGE_INTEGER at;
    at.QuadPart = static_cast<LONGLONG>(size);
    return SetFilePointerEx(file, at, nullptr, FILE_BEGIN) && SetEndOfFile(file);
}

}  // namespace

bool TAppendFile::Create(const std::string& path, std::string& error) {
    Close();
    const HANDLE file = OpenToWrite(path, CREATE_NEW);
    if (!Told(file != INVALID_HANDLE_VALUE, error)) return false;
    handle_ = file;
    size_ = 0;
    return true;
}

bool TAppendFile::Open(const std::string& path, std::string& error) {
    Close();
    if (!IsFile(path)) {
        error = "not a regular file";
        return false;
    }
    const HANDLE file = OpenToWrite(path, OPEN_EXISTING);
    LARGE_INTEGER size {};
    if (file == INVALID_HANDLE_VALUE || !GetFileSizeEx(file, &size)) {
        error = ErrorText(GetLastError());
        if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
        return false;
    }
    handle_ = file;
    size_ = static_cast<std::uint64_t>(size.QuadPart);
    return true;
}

bool TAppendFile::IsOpen() const { return handle_ != nullptr; }

bool TAppendFile::Append(const std::string& text, std::string& error) {
    if (handle_ == nullptr) {
        error = ErrorText(ERROR_INVALID_HANDLE);
        return false;
    }
    LARGE_INTEGER at;
    at.QuadPart = static_cast<LONGLONG>(size_);
    std::size_t done = 0;
    bool ok = SetFilePointerEx(handle_, at, nullptr, FILE_BEGIN) != 0;
    while (ok && done < text.size()) {
        DWORD written = 0;
        ok = WriteFile(handle_, text.data() + done, static_cast<DWORD>(text.size() - done), &written, nullptr) &&
             written > 0;
        done += written;
    }
    if (!ok) {
        const DWORD code = GetLastError();
        error = ErrorText(code == NO_ERROR ? ERROR_DISK_FULL : code);
        // What was written of it goes again: a line is whole or absent.
        if (done > 0) SetEnd(handle_, size_);
        return false;
    }
    size_ += done;
    return true;
}

bool TAppendFile::CutTo(std::uint64_t size, std::string& error) {
    if (handle_ == nullptr || !SetEnd(handle_, size)) {
        error = ErrorText(handle_ == nullptr ? ERROR_INVALID_HANDLE : GetLastError());
        return false;
    }
    size_ = size;
    return true;
}

void TAppendFile::Close() {
    if (handle_ != nullptr) CloseHandle(handle_);
    handle_ = nullptr;
}

namespace {

// The byte that is locked lies far past the note, which the others read.
constexpr DWORD kLockedByteHigh = 1;

}  // namespace

TLockFile::~TLockFile() {
    if (handle_ != nullptr) CloseHandle(handle_);
}

TLockFile::TResult TLockFile::Take(const std::string& path, const std::string& note, std::string& text) {
    if (handle_ == nullptr) {
        const HANDLE file = CreateFileW(Wide(path).c_str(), GENERIC_READ | GENERIC_WRITE,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                                        FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE) {
            text = ErrorText(GetLastError());
            return TResult::Failed;
        }
        handle_ = file;
    }
    OVERLAPPED at {};
    at.OffsetHigh = kLockedByteHigh;
    if (!LockFileEx(handle_, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &at)) {
        const DWORD code = GetLastError();
        if (code != ERROR_LOCK_VIOLATION && code != ERROR_IO_PENDING) {
            text = ErrorText(code);
            return TResult::Failed;
        }
        char buffer[512];
        DWORD got = 0;
        OVERLAPPED start {};
        if (!ReadFile(handle_, buffer, sizeof buffer, &got, &start)) got = 0;
        text.assign(buffer, got);
        return TResult::Busy;
    }
    // The note is only for the others' message: a failure to write it costs nothing.
    DWORD written = 0;
    OVERLAPPED start {};
    if (SetEnd(handle_, 0)) WriteFile(handle_, note.data(), static_cast<DWORD>(note.size()), &written, &start);
    return TResult::Taken;
}

unsigned long ProcessId() { return GetCurrentProcessId(); }

}  // namespace host
