// The journal's text: its lines written and read, and journal names.
#include <algorithm>
#include <charconv>
#include <chrono>
#include <cstdio>
#include <ctime>

#include "Journal.h"
#include "Text.h"

namespace host {

namespace {

constexpr std::string_view kJournalExtension = ".journal";
constexpr char kEscape = '%';
// Windows editors save UTF-8 text with it.
constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

void AppendEscaped(std::string& out, const std::string& text) {
    constexpr unsigned char kSpace = 0x20, kDelete = 0x7F;
    for (const char c : text) {
        const auto u = static_cast<unsigned char>(c);
        if (u < kSpace || u == kDelete || c == kEscape) {
            out += kEscape;
            out += kHexDigits[u >> 4];
            out += kHexDigits[u & 0xF];
        } else {
            out += c;
        }
    }
}

bool Unescape(std::string_view text, std::string& out) {
    out.clear();
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != kEscape) {
            out += text[i];
            continue;
        }
        if (i + 2 >= text.size()) return false;
        const int high = HexValue(text[i + 1]);
        const int low = HexValue(text[i + 2]);
        if (high < 0 || low < 0) return false;
        out += static_cast<char>(high * 16 + low);
        i += 2;
    }
    return !out.empty();
}

// The pieces of text between each separator.
std::vector<std::string_view> Split(std::string_view text, char separator) {
    std::vector<std::string_view> pieces;
    for (std::size_t start = 0;;) {
        const std::size_t end = text.find(separator, start);
        pieces.push_back(text.substr(start, end - start));
        if (end == std::string_view::npos) return pieces;
        start = end + 1;
    }
}

// "volume:index:size:modified", decimal, the time perhaps negative.
bool ParseIdentity(std::string_view text, TFileId& id) {
    const std::vector<std::string_view> fields = Split(text, ':');
    if (fields.size() != 4) return false;
    const bool negative = fields[3].starts_with('-');
    std::uint64_t values[4] = {};
    for (std::size_t i = 0; i < 4; ++i) {
        const std::string_view digits = fields[i].substr(i == 3 && negative ? 1 : 0);
        constexpr std::size_t kMostDigits = 19;  // every field fits 64 bits
        const char* last = digits.data() + digits.size();
        if (digits.empty() || digits.size() > kMostDigits ||
            std::from_chars(digits.data(), last, values[i]).ptr != last) {
            return false;
        }
    }
    id.volume = values[0];
    id.index = values[1];
    id.size = values[2];
    id.modified = negative ? -static_cast<std::int64_t>(values[3]) : static_cast<std::int64_t>(values[3]);
    id.valid = true;
    return true;
}

// A journal name's start and sequence, so that "…Z-2.journal" sorts after
// "…Z.journal" of the same millisecond; the whole base for other names.
std::pair<std::string, unsigned long> NameOrder(const std::string& name) {
    const std::string base = name.substr(0, name.size() - kJournalExtension.size());
    const std::size_t dash = base.rfind("Z-");
    constexpr std::size_t kMaxSequenceDigits = 9;  // fits an unsigned long anywhere
    if (dash != std::string::npos && dash + 2 < base.size() && base.size() - dash - 2 <= kMaxSequenceDigits &&
        base.find_first_not_of("0123456789", dash + 2) == std::string::npos) {
        return {base.substr(0, dash + 1), std::stoul(base.substr(dash + 2))};
    }
    return {base, 0};
}

}  // namespace

std::string JournalLine(std::string_view kind, const std::string& oldPath, const std::string& newPath,
                        const TFileId& id) {
    std::string line(kind);
    line += '\t';
    AppendEscaped(line, oldPath);
    if (!newPath.empty()) {
        line += '\t';
        AppendEscaped(line, newPath);
        if (id.valid) {
            line += '\t';
            line += std::to_string(id.volume) + ':' + std::to_string(id.index) + ':' + std::to_string(id.size) + ':' +
                    std::to_string(id.modified);
        }
    }
    return line + "\n";
}

bool TJournal::Parse(const std::string& input) {
    entries_.clear();
    folders_.clear();
    problems_.clear();
    undoRan_ = damaged_ = false;
    wholeSize_ = 0;
    std::string_view text = input;
    const std::size_t mark = text.starts_with(kByteOrderMark) ? kByteOrderMark.size() : 0;
    text.remove_prefix(mark);
    if (!text.starts_with(kJournalHeader)) return false;
    std::size_t number = 0;
    for (std::size_t start = 0; start < text.size();) {
        ++number;
        const std::size_t end = text.find('\n', start);
        const bool whole = end != std::string_view::npos;
        std::string_view line = text.substr(start, end - start);
        start = whole ? end + 1 : text.size();
        if (whole) wholeSize_ = mark + start;
        if (line.ends_with('\r')) line.remove_suffix(1);
        // A first line without its end is a journal only as the bare header:
        // line ends of another system would make all of it one note.
        if (number == 1 && !whole && line != kJournalHeader) return false;
        if (line.empty() || line[0] == '#') {
            if (whole && line.starts_with(kUndoneNote)) undoRan_ = true;
        } else if (!whole) {
            // The disk filled, or the system stopped, as it was written: the
            // step it began is told by the lines before it.
            problems_.push_back("journal line " + std::to_string(number) + " is cut short; not used");
        } else {
            ReadLine(line, number);
        }
    }
    return true;
}

void TJournal::ReadLine(std::string_view line, std::size_t number) {
    const std::vector<std::string_view> fields = Split(line, '\t');
    const auto damage = [&](const std::string& what) {
        damaged_ = true;
        problems_.push_back("journal line " + std::to_string(number) + what);
    };
    const std::string_view kind = fields[0];
    const bool folder = kind == kKindMaking || kind == kKindRemoving;
    // The lines that can lead to a move must carry the identity of their file.
    const bool identity = kind == kKindRenaming || kind == kKindRenamed;
    if (!folder && !identity && kind != kKindFailed && kind != kKindUndone) {
        damage(" is of a kind this version does not know (\"" + std::string(kind) + "\"); not used");
        return;
    }
    std::string oldPath, newPath;
    TFileId id;
    const bool oldRead = fields.size() > 1 && Unescape(fields[1], oldPath);
    if (folder) {
        if (oldRead && fields.size() == 2) {
            folders_.push_back({oldPath, kind == kKindMaking, false});
        } else {
            damage(" is incomplete; its folder is left alone");
        }
        return;
    }
    if (!oldRead || fields.size() < 3 || !Unescape(fields[2], newPath) ||
        (identity && (fields.size() < 4 || !ParseIdentity(fields[3], id)))) {
        // Hand edited, or cut and written after: without all of it no file is moved.
        damage(" is incomplete; its file is left alone");
        if (!oldRead) return;
        bool known = false;
        for (TJournalEntry& e : entries_) {
            if (e.oldPath == oldPath) e.damaged = known = true;
        }
        // Its move may have happened: undo and history count it as left alone.
        if (!known) entries_.push_back({oldPath, newPath, TEntryState::Pending, false, true, id});
        return;
    }
    auto findLast = [&](auto&& accept) -> TJournalEntry* {
        for (auto e = entries_.rbegin(); e != entries_.rend(); ++e) {
            if (e->oldPath == oldPath && accept(*e)) return &*e;
        }
        return nullptr;
    };
    auto pending = [](const TJournalEntry& e) { return e.state == TEntryState::Pending; };
    const bool damaged = findLast([](const TJournalEntry& e) { return e.damaged; }) != nullptr;
    if (kind == kKindRenaming) {
        entries_.push_back({oldPath, newPath, TEntryState::Pending, false, damaged, id});
    } else if (kind == kKindRenamed) {
        if (TJournalEntry* e = findLast(pending)) {
            e->newPath = newPath;
            e->state = TEntryState::Done;
            e->id = id;
        } else {
            entries_.push_back({oldPath, newPath, TEntryState::Done, false, damaged, id});
        }
    } else if (kind == kKindFailed) {
        if (TJournalEntry* e = findLast(pending)) e->state = TEntryState::Failed;
    } else if (TJournalEntry* e = findLast([&](const TJournalEntry& x) {
                   return !x.undone && x.state != TEntryState::Failed && x.newPath == newPath;
               })) {
        e->undone = true;
    } else if (oldPath == newPath) {
        for (TJournalFolder& f : folders_) {
            if (f.path == newPath) f.undone = true;
        }
    }
}

std::vector<std::string> JournalsInOrder(const std::vector<std::string>& names) {
    std::vector<std::string> journals;
    for (const std::string& name : names) {
        if (name.ends_with(kJournalExtension) && name.size() > kJournalExtension.size()) journals.push_back(name);
    }
    std::sort(journals.begin(), journals.end(),
              [](const std::string& a, const std::string& b) { return NameOrder(a) < NameOrder(b); });
    return journals;
}

std::string JournalStart(const std::string& name) {
    std::string when = NameOrder(name).first;
    // "2026-12-08_18-49-10.272Z" reads as "2026-12-08 18:49:10".
    constexpr std::size_t kStampLength = 19;
    if (when.size() >= kStampLength && when[10] == '_') {
        when = when.substr(0, 10) + " " + when.substr(11, 2) + ":" + when.substr(14, 2) + ":" + when.substr(17, 2);
    }
    return when;
}

std::string JournalName(const std::string& stamp, unsigned sequence) {
    std::string name = stamp;
    if (sequence != 0) name.append("-").append(std::to_string(sequence));
    return name.append(kJournalExtension);
}

std::string TimeStamp() {
    using namespace std::chrono;
    const auto now = system_clock::now();
    const std::time_t seconds = system_clock::to_time_t(now);
    const long long millis = duration_cast<milliseconds>(now.time_since_epoch()).count() % 1000;
    const std::tm* utc = std::gmtime(&seconds);
    char text[64] = "0000-00-00_00-00-00";
    if (utc != nullptr) std::strftime(text, sizeof text, "%Y-%m-%d_%H-%M-%S", utc);
    char stamp[96];
    std::snprintf(stamp, sizeof stamp, "%s.%03lldZ", text, millis);
    return stamp;
}

}  // namespace host
