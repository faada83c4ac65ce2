// The undo journal's format: one line per step, "kind<TAB>old<TAB>new", with
// control characters and "%" written as %XX so any name fits on one line;
// and the journal names, which sort by the time their run started.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "Journal.h"
#include "Text.h"

namespace host {

namespace {

constexpr char kJournalSeparator = '\t';
constexpr char kEscape = '%';
constexpr unsigned char kFirstPrintable = 0x20;
constexpr unsigned char kDelete = 0x7F;
constexpr int kHexBase = 16;

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

std::string EscapeField(const std::string& text) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    for (const char c : text) {
        const auto u = static_cast<unsigned char>(c);
        if (u < kFirstPrintable || u == kDelete || c == kEscape) {
            out += kEscape;
            out += kHex[u / kHexBase];
            out += kHex[u % kHexBase];
        } else {
            out += c;
        }
    }
    return out;
}

bool UnescapeField(const std::string& text, std::string& out) {
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
        out += static_cast<char>(high * kHexBase + low);
        i += 2;
    }
    return true;
}

std::vector<std::string> SplitLines(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(std::move(line));
        start = end + 1;
    }
    return lines;
}

// Splits a journal name into its start time and its sequence number, so that
// "…Z-2.journal" sorts after "…Z.journal" of the same millisecond.
std::pair<std::string, unsigned long> JournalOrder(const std::string& name) {
    const std::string base = name.substr(0, name.size() - std::strlen(kJournalExtension));
    const std::size_t dash = base.rfind("Z-");
    constexpr std::size_t kMaxSequenceDigits = 9;  // fits an unsigned long anywhere
    if (dash != std::string::npos && dash + 2 < base.size() && base.size() - dash - 2 <= kMaxSequenceDigits &&
        std::all_of(base.begin() + static_cast<std::ptrdiff_t>(dash + 2), base.end(),
                    [](char c) { return c >= '0' && c <= '9'; })) {
        return {base.substr(0, dash + 1), std::stoul(base.substr(dash + 2))};
    }
    return {base, 0};
}

bool ParseIdentity(const std::string& text, TFileId& id) {
    std::uint64_t values[4] = {};
    std::size_t field = 0;
    bool digit = false;
    for (const char c : text) {
        if (c == ':' && digit && field < 3) {
            ++field;
            digit = false;
        } else if (c >= '0' && c <= '9') {
            constexpr std::uint64_t kDecimal = 10;
            values[field] = values[field] * kDecimal + static_cast<std::uint64_t>(c - '0');
            digit = true;
        } else if (!(c == '-' && field == 3 && !digit)) {
            return false;
        }
    }
    if (field != 3 || !digit) return false;
    id.volume = values[0];
    id.index = values[1];
    id.size = values[2];
    const bool negative = text[text.rfind(':') + 1] == '-';
    id.modified = negative ? -static_cast<std::int64_t>(values[3]) : static_cast<std::int64_t>(values[3]);
    id.valid = true;
    return true;
}

}  // namespace

std::string JournalLine(const std::string& kind, const std::string& oldPath, const std::string& newPath,
                        const TFileId& id) {
    std::string line = kind + kJournalSeparator + EscapeField(oldPath) + kJournalSeparator + EscapeField(newPath);
    if (id.valid) {
        line += kJournalSeparator;
        line += std::to_string(id.volume) + ':' + std::to_string(id.index) + ':' + std::to_string(id.size) + ':' +
                std::to_string(id.modified);
    }
    return line + "\n";
}

bool ParseJournal(const std::string& text, std::vector<TJournalEntry>& entries) {
    TJournal journal;
    const bool ok = ParseJournal(text, journal);
    entries = std::move(journal.entries);
    return ok;
}

bool ParseJournal(const std::string& text, TJournal& journal) {
    journal = TJournal {};
    std::vector<TJournalEntry>& entries = journal.entries;
    if (!StartsWith(text, kJournalHeader)) return false;
    auto findLast = [&](const std::string& oldPath, auto&& accept) -> TJournalEntry* {
        for (auto entry = entries.rbegin(); entry != entries.rend(); ++entry) {
            if (entry->oldPath == oldPath && accept(*entry)) return &*entry;
        }
        return nullptr;
    };
    for (const std::string& line : SplitLines(text)) {
        if (StartsWith(line, kUndoneNote)) journal.undoRan = true;
        if (line.empty() || line[0] == '#') continue;
        std::vector<std::string> fields;
        for (std::size_t start = 0;;) {
            const std::size_t end = line.find(kJournalSeparator, start);
            fields.push_back(line.substr(start, end == std::string::npos ? std::string::npos : end - start));
            if (end == std::string::npos) break;
            start = end + 1;
        }
        // A line cut short by a crash, or one this version does not know, is passed over.
        if (fields.size() != 3 && fields.size() != 4) continue;
        const std::string& kind = fields[0];
        std::string oldPath, newPath;
        TFileId id;
        if (!UnescapeField(fields[1], oldPath) || !UnescapeField(fields[2], newPath)) continue;
        if (fields.size() == 4 && !ParseIdentity(fields[3], id)) continue;
        if (kind == kKindRenaming) {
            entries.push_back({oldPath, newPath, TEntryState::Pending, false, id});
        } else if (kind == kKindRenamed) {
            TJournalEntry* entry =
                findLast(oldPath, [](const TJournalEntry& e) { return e.state == TEntryState::Pending; });
            if (entry == nullptr) {
                entries.push_back({oldPath, newPath, TEntryState::Done, false, id});
            } else {
                entry->newPath = newPath;
                entry->state = TEntryState::Done;
                if (id.valid) entry->id = id;
            }
        } else if (kind == kKindFailed) {
            TJournalEntry* entry =
                findLast(oldPath, [](const TJournalEntry& e) { return e.state == TEntryState::Pending; });
            if (entry != nullptr) entry->state = TEntryState::Failed;
        } else if (kind == kKindUndone) {
            TJournalEntry* entry = findLast(oldPath, [&](const TJournalEntry& e) {
                return !e.undone && e.state != TEntryState::Failed && e.newPath == newPath;
            });
            if (entry != nullptr) entry->undone = true;
        }
    }
    return true;
}

std::string NewestJournal(const std::vector<std::string>& names) {
    std::string newest;
    for (const std::string& name : names) {
        if (!EndsWith(name, kJournalExtension) || name.size() == std::strlen(kJournalExtension)) continue;
        if (newest.empty() || JournalOrder(newest) < JournalOrder(name)) newest = name;
    }
    return newest;
}

std::vector<std::string> JournalsInOrder(const std::vector<std::string>& names) {
    std::vector<std::string> journals;
    for (const std::string& name : names) {
        if (EndsWith(name, kJournalExtension) && name.size() > std::strlen(kJournalExtension)) journals.push_back(name);
    }
    std::sort(journals.begin(), journals.end(),
              [](const std::string& a, const std::string& b) { return JournalOrder(a) < JournalOrder(b); });
    return journals;
}

std::string JournalName(const std::string& stamp, unsigned sequence) {
    std::string name = stamp;
    if (sequence != 0) {
        name += '-';
        name += std::to_string(sequence);
    }
    name += kJournalExtension;
    return name;
}

std::string TimeStamp() {
    using namespace std::chrono;
    constexpr long long kMillisPerSecond = 1000;
    const auto now = system_clock::now();
    const std::time_t seconds = system_clock::to_time_t(now);
    const long long millis = duration_cast<milliseconds>(now.time_since_epoch()).count() % kMillisPerSecond;
    const std::tm* utc = std::gmtime(&seconds);
    char text[64] = "0000-00-00_00-00-00";
    if (utc != nullptr) std::strftime(text, sizeof text, "%Y-%m-%d_%H-%M-%S", utc);
    char stamp[96];
    std::snprintf(stamp, sizeof stamp, "%s.%03lldZ", text, millis);
    return stamp;
}

}  // namespace host
