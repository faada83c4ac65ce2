// POSIX side of the platform layer. Paths arrive as Windows-1251 and are
// converted to UTF-8 at the file system, as Windows' "A" calls convert to UTF-16.
#include "platform.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "cp1251.h"

namespace platform {

namespace {

// UTF-8 of the 16-bit range: one, two or three bytes.
constexpr std::uint32_t kOneByteLimit = 0x80, kTwoByteLimit = 0x800;
constexpr std::uint32_t kTwoByteLead = 0xC0, kThreeByteLead = 0xE0, kContinuation = 0x80;
constexpr std::uint32_t kContinuationBits = 0x3F, kContinuationMask = 0xC0;
// A lead byte's marker bits, and the bits of the character it carries.
constexpr std::uint32_t kTwoByteMask = 0xE0, kTwoByteBits = 0x1F, kThreeByteMask = 0xF0, kThreeByteBits = 0x0F;
constexpr unsigned kBitsPerContinuation = 6;

void AppendUtf8(std::string& out, std::uint32_t cp) {
    auto put = [&out](std::uint32_t byte) { out += static_cast<char>(byte); };
    auto continuation = [](std::uint32_t bits) { return kContinuation | (bits & kContinuationBits); };
    if (cp < kOneByteLimit) {
        put(cp);
    } else if (cp < kTwoByteLimit) {
        put(kTwoByteLead | (cp >> kBitsPerContinuation));
        put(continuation(cp));
    } else {
        put(kThreeByteLead | (cp >> (2 * kBitsPerContinuation)));
        put(continuation(cp >> kBitsPerContinuation));
        put(continuation(cp));
    }
}

// Whether the eight bytes at text are all ASCII.
bool IsAsciiWord(const char* text) {
    constexpr std::uint64_t kHighBits = 0x8080808080808080;
    std::uint64_t word = 0;
    std::memcpy(&word, text, sizeof word);
    return (word & kHighBits) == 0;
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

std::string WideUnitToAnsi(std::uint16_t unit) {
    std::string text;
    AppendWideUnitAnsi(text, unit);
    return text;
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
    // The UTF-8 of every upper-half byte, made once: each is then a copy.
    struct TEncoded {
        char bytes[3];
        std::uint8_t length;
    };
    static const std::array<TEncoded, 128> kUpper = [] {
        std::array<TEncoded, 128> table{};
        for (std::size_t i = 0; i < table.size(); ++i) {
            std::string bytes;
            AppendUtf8(bytes, AnsiToUnit(static_cast<unsigned char>(kUpperHalfStart + i)));
            bytes.copy(table[i].bytes, sizeof table[i].bytes);
            table[i].length = static_cast<std::uint8_t>(bytes.size());
        }
        return table;
    }();
    constexpr std::size_t kLongest = 3;
    const std::size_t start = out.size();
    out.resize(start + ansi.size() * kLongest);
    char* to = out.data() + start;
    // Eight bytes a step: copied whole when all are ASCII (the same in both),
    // else byte by byte; the last few byte by byte.
    for (std::size_t i = 0; i < ansi.size();) {
        const std::size_t step = std::min(ansi.size() - i, sizeof(std::uint64_t));
        if (step == sizeof(std::uint64_t) && IsAsciiWord(ansi.data() + i)) {
            std::memcpy(to, ansi.data() + i, step);
            to += step;
            i += step;
            continue;
        }
        for (const std::size_t end = i + step; i < end; ++i) {
            const auto byte = static_cast<unsigned char>(ansi[i]);
            if (byte < kOneByteLimit) {
                *to++ = ansi[i];
                continue;
            }
            // All three bytes copied, the length counted: the room is there.
            const TEncoded& e = kUpper[byte - kUpperHalfStart];
            std::memcpy(to, e.bytes, sizeof e.bytes);
            to += e.length;
        }
    }
    out.resize(static_cast<std::size_t>(to - out.data()));
}

bool Utf8ToAnsi(const std::string& utf8, std::string& ansi) {
    ansi.clear();
    std::size_t i = 0;
    while (i < utf8.size()) {
        const auto b0 = static_cast<unsigned char>(utf8[i]);
        std::uint32_t cp = 0;
        std::size_t extra = 0;
        if (b0 < kOneByteLimit) {
            // ASCII is the same in both: a run of it is copied whole.
            std::size_t end = i + 1;
            while (end + sizeof(std::uint64_t) <= utf8.size() && IsAsciiWord(utf8.data() + end)) {
                end += sizeof(std::uint64_t);
            }
            while (end < utf8.size() && static_cast<unsigned char>(utf8[end]) < kOneByteLimit) ++end;
            ansi.append(utf8, i, end - i);
            i = end;
            continue;
        }
        if ((b0 & kTwoByteMask) == kTwoByteLead) {
            cp = b0 & kTwoByteBits;
            extra = 1;
        } else if ((b0 & kThreeByteMask) == kThreeByteLead) {
            cp = b0 & kThreeByteBits;
            extra = 2;
        } else {
            return false;  // four-byte forms lie outside every 8-bit code page
        }
        for (std::size_t k = 1; k <= extra; ++k) {
            if (i + k >= utf8.size()) return false;
            const auto b = static_cast<unsigned char>(utf8[i + k]);
            if ((b & kContinuationMask) != kContinuation) return false;
            cp = (cp << kBitsPerContinuation) | (b & kContinuationBits);
        }
        if ((extra == 1 && cp < kOneByteLimit) || (extra == 2 && cp < kTwoByteLimit)) return false;  // overlong
        const unsigned char c = UnitToAnsi(cp);
        if (c == 0 && cp != 0) return false;
        ansi += static_cast<char>(c);
        i += extra + 1;
    }
    return true;
}

bool IsPathDelimiter(char c) { return c == '/'; }

}  // namespace platform
