// The thin platform layer: read-only shared file access, the move that never
// replaces, and the ANSI code page (16-bit unit to 8-bit text, letter case).
// Paths and texts are 8-bit ANSI (Windows-1251 in the native build, where the
// layer converts paths to UTF-8 at the file system as Windows' "A" calls do).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace platform {

// A file opened as an existing file for reading only, while other programs may
// read and write it. Closed by the destructor on every path.
class ReadOnlyFile {
public:
    ReadOnlyFile() = default;
    ~ReadOnlyFile();
    ReadOnlyFile(const ReadOnlyFile&) = delete;
    ReadOnlyFile& operator=(const ReadOnlyFile&) = delete;

    bool Open(const char* ansiPath);
    bool IsOpen() const;
    // Size in bytes; false when the system cannot tell.
    bool Size(std::int64_t& size) const;
    // Reads up to count bytes at offset; got < count only at the end of the file.
    // False on a failed seek or read (a negative offset fails like a seek before
    // the start of the file).
    bool ReadAt(std::int64_t offset, void* buffer, std::size_t count, std::size_t& got);
    void Close();

private:
#ifdef _WIN32
    void* handle_ = reinterpret_cast<void*>(static_cast<std::intptr_t>(-1));
#else
    int fd_ = -1;
    std::int64_t size_ = -1;  // taken by the fstat that Open makes anyway
#endif
};

// Moves a file to a new name in one step; fails, replacing nothing, when the
// new name exists already. Moving a file to its own name succeeds.
bool MoveNoReplace(const char* ansiFrom, const char* ansiTo);
// The same move on UTF-8 paths, for names the code page cannot hold (the
// command's undo). On failure errno (GetLastError on Windows) says why.
bool MoveNoReplaceUtf8(const std::string& from, const std::string& to);

// One 16-bit text unit in the ANSI code page, added to the end of text; "?"
// when the code page cannot show it (no best-fit substitutes).
void AppendWideUnitAnsi(std::string& text, std::uint16_t unit);
// Each of count units so, in one call.
void AppendWideUnitsAnsi(std::string& text, const std::uint16_t* units, std::size_t count);

// Letter case by the ANSI code page's rules, in place; the length never changes.
void ToUpperAnsi(char* text, std::size_t length);
void ToLowerAnsi(char* text, std::size_t length);

// Windows-1251 text to and from UTF-8, for the native build's file system and
// command line. Utf8ToAnsi fails on invalid UTF-8 or on a character that the
// code page cannot hold, so a name is never mangled.
std::string AnsiToUtf8(const std::string& ansi);
// The same, added to the end of out.
void AppendAnsiAsUtf8(std::string& out, std::string_view ansi);
bool Utf8ToAnsi(const std::string& utf8, std::string& ansi);

// Whether a character ends the directory part of a path ("\" and ":" on
// Windows, "/" elsewhere).
bool IsPathDelimiter(char c);

}  // namespace platform
