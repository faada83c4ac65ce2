// The console and the text reporter.
#include "Report.h"

#include <algorithm>

#include "Text.h"

namespace host {

namespace {

constexpr std::string_view kArrow = " -> ";
bool Worth(const TFileReport& r, bool quiet) {
    return !quiet || r.result == TFileResult::Failed || r.result == TFileResult::WouldStay;
}

class TTextReporter : public TRunReporter {
public:
    TTextReporter(TConsole& console, bool quiet) : console_(console), quiet_(quiet) {}

    void File(const TFileReport& r) override {
        if (!Worth(r, quiet_)) return;
        switch (r.result) {
        case TFileResult::Renamed:
        case TFileResult::ToRename:
        case TFileResult::WouldStay: {
            std::string& line = line_;  // its room kept from line to line
            line.assign(r.path).append(kArrow).append(r.newPath);
            if (!r.marks.empty()) line += MarksText(r.marks);
            line += '\n';
            console_.Out(line);
            break;
        }
        case TFileResult::Unchanged: break;
        case TFileResult::Failed:
            if (!r.newPath.empty()) {
                console_.Err(r.path + ": not renamed to " + r.newPath + (r.reason.empty() ? "" : ": " + r.reason) +
                             MarksText(r.marks));
                break;
            }
            [[fallthrough]];
        case TFileResult::Skipped: console_.Err(r.path + ": " + r.reason); break;
        }
    }

    void Summary(const TRunSummary& s) override {
        const TCounts& c = s.counts;
        if (!s.stopped.empty()) {
            // Said on standard error, the stream perhaps left.
            std::string line = s.stopped + "; stopped after " + std::to_string(s.filesDone) + " of " +
                               std::to_string(s.filesTotal) + " files";
            if (s.dryRun) {
                line += " (a preview: nothing renamed)";
            } else {
                line += ", " + std::to_string(c.renamed) + " renamed";
                if (!s.journalPath.empty()) {
                    line += "; journal: " + s.journalPath + " (pelmora --undo puts the names back)";
                } else if (s.noJournal) {
                    line += "; no journal kept";
                }
            }
            console_.Err(line);
            return;
        }
        std::string line = std::to_string(c.seen) + " seen, " + std::to_string(c.renamed) +
                           (s.dryRun ? " to rename, " : " renamed, ") + std::to_string(c.unchanged) + " unchanged, " +
                           std::to_string(c.failed) + " failed";
        if (c.skipped > 0) line += ", " + std::to_string(c.skipped) + " skipped";
        if (s.dryRun && (c.stays > 0 || c.refused > 0)) {
            line += "; marked: " + std::to_string(c.stays) + " would stay, " + std::to_string(c.refused) +
                    " with a name Windows refuses";
        } else if (c.refused > 0) {
            line += "; " + std::to_string(c.refused) + " with a name Windows refuses";
        }
        console_.Out(line + "\n");
        if (!s.journalPath.empty()) console_.Out("journal: " + s.journalPath + " (pelmora --undo puts the names back)\n");
    }

private:
    TConsole& console_;
    bool quiet_;
    std::string line_;
};

const char* ResultName(TFileResult result) {
    switch (result) {
    case TFileResult::Renamed: return "renamed";
    case TFileResult::ToRename: return "to rename";
    case TFileResult::WouldStay: return "would stay";
    case TFileResult::Unchanged: return "unchanged";
    case TFileResult::Failed: return "failed";
    case TFileResult::Skipped: return "skipped";
    }
    return "";
}

class TJsonReporter : public TRunReporter {
public:
    TJsonReporter(TConsole& console, bool quiet) : console_(console), quiet_(quiet) {}

    void File(const TFileReport& r) override {
        if (!Worth(r, quiet_)) return;
        std::string line = "{\"type\":\"file\",\"old\":" + JsonString(r.path) + ",\"new\":" +
                           (r.newPath.empty() ? std::string("null") : JsonString(r.newPath)) + ",\"result\":\"" +
                           ResultName(r.result) + "\",\"marks\":[";
        // Appended piece by piece: a prefix by operator+ draws a false -Wrestrict from GCC 12.
        for (std::size_t i = 0; i < r.marks.size(); ++i) line.append(i > 0 ? "," : "").append(JsonString(r.marks[i]));
        line.append("],\"reason\":").append(r.reason.empty() ? std::string("null") : JsonString(r.reason)).append("}\n");
        console_.Out(line);
    }

    void Summary(const TRunSummary& s) override {
        const TCounts& c = s.counts;
        console_.Out("{\"type\":\"summary\",\"dryRun\":" + std::string(s.dryRun ? "true" : "false") +
                     ",\"seen\":" + std::to_string(c.seen) + ",\"renamed\":" + std::to_string(c.renamed) +
                     ",\"unchanged\":" + std::to_string(c.unchanged) + ",\"failed\":" + std::to_string(c.failed) +
                     ",\"skipped\":" + std::to_string(c.skipped) +
                     ",\"wouldStay\":" + std::to_string(c.stays) + ",\"windowsRefuses\":" +
                     std::to_string(c.refused) + ",\"journal\":" +
                     (s.journalPath.empty() ? std::string("null") : JsonString(s.journalPath)) + "}\n");
    }

private:
    TConsole& console_;
    bool quiet_;
};

constexpr unsigned char kSpace = 0x20, kDelete = 0x7F, kC1Lead = 0xC2, kC1Last = 0x9F;

unsigned NextByte(const std::string& text, std::size_t i) { return static_cast<unsigned char>(text[i + 1]); }

// The length of the UTF-8 sequence at text[i]; 0 when it is not one.
std::size_t Utf8Length(const std::string& text, std::size_t i) {
    const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
    const unsigned char lead = byte(i);
    std::size_t length = 0;
    unsigned min = 0;
    if (lead < 0x80) return 1;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        min = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        min = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        min = 0x10000;
    } else {
        return 0;
    }
    if (i + length > text.size()) return 0;
    unsigned code = lead & (0x7Fu >> length);
    for (std::size_t k = 1; k < length; ++k) {
        if ((byte(i + k) & 0xC0) != 0x80) return 0;
        code = (code << 6) | (byte(i + k) & 0x3Fu);
    }
    // No overlong forms, no surrogates, nothing past U+10FFFF.
    if (code < min || (code >= 0xD800 && code <= 0xDFFF) || code > 0x10FFFF) return 0;
    return length;
}

}  // namespace

std::unique_ptr<TRunReporter> MakeReporter(TConsole& console, bool json, bool quiet) {
    if (json) return std::make_unique<TJsonReporter>(console, quiet);
    return std::make_unique<TTextReporter>(console, quiet);
}

std::string JsonString(const std::string& text) {
    static constexpr char kHex[] = "0123456789abcdef";
    std::string out = "\"";
    for (std::size_t i = 0; i < text.size();) {
        const auto c = static_cast<unsigned char>(text[i]);
        const std::size_t length = Utf8Length(text, i);
        if (length == 0) {
            out += "\\udc";
            out += kHex[c >> 4];
            out += kHex[c & 0xF];
            ++i;
            continue;
        }
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < kSpace || c == kDelete || (length == 2 && c == kC1Lead && NextByte(text, i) <= kC1Last)) {
            // C1 controls too: the console would print them as "\\x85", which JSON does not know.
            const unsigned code = length == 2 ? NextByte(text, i) : c;
            out += "\\u00";
            out += kHex[code >> 4];
            out += kHex[code & 0xF];
        } else {
            out.append(text, i, length);
        }
        i += length;
    }
    return out + "\"";
}

std::string MarksText(const std::vector<std::string>& marks) {
    if (marks.empty()) return {};
    std::string text = "  [";
    for (std::size_t i = 0; i < marks.size(); ++i) text += (i > 0 ? "; " : "") + marks[i];
    return text + "]";
}

}  // namespace host
