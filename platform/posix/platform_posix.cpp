// POSIX side of the platform layer. Paths arrive as Windows-1251 and are
// converted to UTF-8 at the file system, as Windows' "A" calls convert to UTF-16.
#include "platform.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>

#include "Utf8.h"
#include "cp1251.h"

namespace platform {

namespace {

// UTF-8 of the 16-bit range: one, two or three bytes.
constexpr std::uint32_t kOneByteLimit = 0x80, kTwoByteLimit = 0x800;
constexpr std::uint32_t kTwoByteLead = 0xC0, kThreeByteLead = 0xE0, kContinuation = 0x80;
constexpr std::uint32_t kContinuationBits = 0x3F;
constexpr unsigned kBitsPerContinuation = 6;

// The UTF-8 of a 16-bit unit written at out, which has room for three bytes; its length.
std::size_t PutUtf8(char* out, std::uint32_t cp) {
    auto byte = [](std::uint32_t bits) { return static_cast<char>(bits); };
    auto continuation = [](std::uint32_t bits) { return static_cast<char>(kContinuation | (bits & kContinuationBits)); };
    if (cp < kOneByteLimit) {
        out[0] = byte(cp);
        return 1;
    }
    if (cp < kTwoByteLimit) {
        out[0] = byte(kTwoByteLead | (cp >> kBitsPerContinuation));
        out[1] = continuation(cp);
        return 2;
    }
    out[0] = byte(kThreeByteLead | (cp >> (2 * kBitsPerContinuation)));
    out[1] = continuation(cp >> kBitsPerContinuation);
    out[2] = continuation(cp);
    return 3;
}

// Windows-1251 is ASCII below 0x80; the table holds the upper half.
constexpr unsigned kUpperHalfStart = 0x80;

std::uint16_t AnsiToUnit(unsigned char c) {
    return c < kUpperHalfStart ? c : cp1251::kUpperHalf[c - kUpperHalfStart];
}

// Reverse of the table; 0 (not a valid answer for a non-zero unit) when absent.
unsigned char UnitToAnsi(std::uint32_t unit) {
    constexpr std::uint32_t kLargestUnit = 0xFFFF;
    return unit > kLargestUnit ? 0 : cp1251::kUnitToByte(static_cast<std::uint16_t>(unit));
}

}  // namespace

ReadOnlyFile::~ReadOnlyFile() { Close(); }

bool ReadOnlyFile::Open(const char* ansiPath) {
    Close();
    if (ansiPath == nullptr) return false;
    const std::string path = AnsiToUtf8(ansiPath);
    // Without O_NONBLOCK the open of a pipe would wait for a writer forever.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return false;
    // Windows opens no folders with these rights; neither do we, nor pipes or
    // devices, whose reads may block or never end.
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return false;
    }
    fd_ = fd;
    size_ = st.st_size;
    return true;
}

bool ReadOnlyFile::IsOpen() const { return fd_ >= 0; }

bool ReadOnlyFile::Size(std::int64_t& size) const {
    if (fd_ < 0) return false;
    size = size_;
    return true;
}

bool ReadOnlyFile::ReadAt(std::int64_t offset, void* buffer, std::size_t count, std::size_t& got) {
    got = 0;
    if (fd_ < 0 || offset < 0) return false;
    auto* out = static_cast<char*>(buffer);
    while (got < count) {
        const ssize_t n = ::pread(fd_, out + got, count - got, static_cast<off_t>(offset + got));
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        if (n == 0) break;
        got += static_cast<std::size_t>(n);
    }
    return true;
}

void ReadOnlyFile::Close() {
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
}

bool MoveNoReplace(const char* ansiFrom, const char* ansiTo) {
    if (ansiFrom == nullptr || ansiTo == nullptr) return false;
    return MoveNoReplaceUtf8(AnsiToUtf8(ansiFrom), AnsiToUtf8(ansiTo));
}

bool MoveNoReplaceUtf8(const std::string& from, const std::string& to) {
    struct stat st {};
    if (::lstat(from.c_str(), &st) != 0) return false;
    if (from == to) return true;
#ifdef SYS_renameat2
    constexpr unsigned kRenameNoReplace = 1;  // RENAME_NOREPLACE
    if (::syscall(SYS_renameat2, AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), kRenameNoReplace) == 0) {
        return true;
    }
    if (errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP) return false;
#endif
    // Where the file system refuses the flag: link cannot replace either.
    if (S_ISDIR(st.st_mode)) {
        errno = EISDIR;
        return false;
    }
    if (::link(from.c_str(), to.c_str()) != 0) return false;
    if (::unlink(from.c_str()) != 0) {
        const int error = errno;
        ::unlink(to.c_str());
        errno = error;
        return false;
    }
    return true;
}

void AppendWideUnitAnsi(std::string& text, std::uint16_t unit) { AppendWideUnitsAnsi(text, &unit, 1); }

void AppendWideUnitsAnsi(std::string& text, const std::uint16_t* units, std::size_t count) {
    const std::size_t start = text.size();
    text.resize(start + count);
    char* out = text.data() + start;
    for (std::size_t i = 0; i < count; ++i) {
        const unsigned char c = UnitToAnsi(units[i]);
        out[i] = c == 0 && units[i] != 0 ? '?' : static_cast<char>(c);
    }
}

void ToUpperAnsi(char* text, std::size_t length) {
    if (text == nullptr) return;
    for (std::size_t i = 0; i < length; ++i) {
        text[i] = static_cast<char>(cp1251::kToUpper[static_cast<unsigned char>(text[i])]);
    }
}

void ToLowerAnsi(char* text, std::size_t length) {
    if (text == nullptr) return;
    for (std::size_t i = 0; i < length; ++i) {
        text[i] = static_cast<char>(cp1251::kToLower[static_cast<unsigned char>(text[i])]);
    }
}

std::string AnsiToUtf8(const std::string& ansi) {
    std::string out;
    AppendAnsiAsUtf8(out, ansi);
    return out;
}

void AppendAnsiAsUtf8(std::string& out, std::string_view ansi) {
    constexpr std::size_t kMostBytes = 3;  // of a character of the code page in UTF-8
    std::size_t end = out.size();
    out.resize(end + kMostBytes * ansi.size());
    for (const char c : ansi) end += PutUtf8(&out[end], AnsiToUnit(static_cast<unsigned char>(c)));
    out.resize(end);
}

bool Utf8ToAnsi(const std::string& utf8, std::string& ansi) {
    // Never longer than the UTF-8.
    ansi.resize(utf8.size());
    std::size_t end = 0;
    for (std::size_t i = 0; i < utf8.size();) {
        const TUtf8Sequence sequence = NextUtf8(utf8, i);
        const unsigned char c = UnitToAnsi(sequence.codePoint);
        if (!sequence.valid || (c == 0 && sequence.codePoint != 0)) {
            ansi.resize(end);
            return false;
        }
        ansi[end++] = static_cast<char>(c);
        i += sequence.length;
    }
    ansi.resize(end);
    return true;
}

bool IsPathDelimiter(char c) { return c == '/'; }

}  // namespace platform
