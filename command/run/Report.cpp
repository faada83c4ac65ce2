// The reporter, for people and for scripts.
#include "Report.h"

#include "PathText.h"
#include "Text.h"
#include "Utf8.h"

namespace host {

namespace {

// The marks as the text output appends them: "  [one; two]"; empty without marks.
std::string MarksText(const std::vector<std::string>& marks) {
    if (marks.empty()) return {};
    std::string text = "  [";
    for (std::size_t i = 0; i < marks.size(); ++i) text += (i > 0 ? "; " : "") + marks[i];
    return text + "]";
}

// A run that ended before its last file, on standard error (the stream perhaps
// left): why, how far it got, what it renamed and where that is written.
std::string StoppedText(const TRunSummary& s) {
    std::string line = s.stopped + "; stopped after " + std::to_string(s.filesDone) + " of " +
                       std::to_string(s.filesTotal) + " files";
    if (s.dryRun) return line + " (a preview: nothing renamed)";
    line += ", " + std::to_string(s.counts.renamed) + " renamed";
    if (!s.journalPath.empty()) {
        line += "; journal: " + s.journalPath + " (pelmora --undo puts the names back)";
    } else if (s.noJournal) {
        line += "; no journal kept";
    }
    return line;
}

// A JSON string, or null for an empty text.
std::string JsonOrNull(const std::string& text) { return text.empty() ? std::string("null") : JsonString(text); }

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

}  // namespace

void TRunReporter::File(const TFileReport& r) {
    if (quiet_ && r.result != TFileResult::Failed && r.result != TFileResult::WouldStay) return;
    if (json_) {
        std::string line = "{\"type\":\"file\",\"old\":" + JsonString(r.path) + ",\"new\":" + JsonOrNull(r.newPath) +
                           ",\"result\":\"" + ResultName(r.result) + "\",\"marks\":[";
        // Appended piece by piece: a prefix by operator+ draws a false -Wrestrict from GCC 12.
        for (std::size_t i = 0; i < r.marks.size(); ++i) line.append(i > 0 ? "," : "").append(JsonString(r.marks[i]));
        line.append("],\"reason\":").append(JsonOrNull(r.reason)).append("}\n");
        console_.Out(line);
        return;
    }
    switch (r.result) {
    case TFileResult::Renamed:
    case TFileResult::ToRename:
    case TFileResult::WouldStay: {
        std::string line;
        line.reserve(r.path.size() + r.newPath.size() + 64);
        line.append(r.path).append(" -> ").append(r.newPath).append(MarksText(r.marks)) += '\n';
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

void TRunReporter::Folder(const TFolderReport& f) {
    if (quiet_) return;
    const std::string path = JoinPath(f.path, std::string());
    if (!json_) {
        console_.Out((f.made ? "+ " : "- ") + path + "\n");
        return;
    }
    const char* result = f.made ? (f.dryRun ? "to make" : "made") : (f.dryRun ? "to remove" : "removed");
    console_.Out("{\"type\":\"folder\",\"path\":" + JsonString(path) + ",\"result\":\"" + result + "\"}\n");
}

void TRunReporter::Summary(const TRunSummary& s) {
    const TCounts& c = s.counts;
    if (!s.stopped.empty()) console_.Err(StoppedText(s));
    if (json_) {
        std::string folders;
        if (s.folders) {
            folders = (s.dryRun ? ",\"foldersToMake\":" : ",\"foldersMade\":") + std::to_string(c.foldersMade) +
                      (s.dryRun ? ",\"foldersToRemove\":" : ",\"foldersRemoved\":") + std::to_string(c.foldersRemoved);
        }
        std::string stopped;
        if (!s.stopped.empty()) {
            stopped = ",\"stopped\":" + JsonString(s.stopped) + ",\"filesReached\":" + std::to_string(s.filesDone) +
                      ",\"filesGiven\":" + std::to_string(s.filesTotal);
        }
        // A preview renames nothing: it counts what a real run would rename.
        console_.Out("{\"type\":\"summary\",\"dryRun\":" + std::string(s.dryRun ? "true" : "false") +
                     ",\"seen\":" + std::to_string(c.seen) + (s.dryRun ? ",\"toRename\":" : ",\"renamed\":") +
                     std::to_string(c.renamed) + ",\"unchanged\":" + std::to_string(c.unchanged) +
                     ",\"failed\":" + std::to_string(c.failed) + ",\"skipped\":" + std::to_string(c.skipped) +
                     ",\"wouldStay\":" + std::to_string(c.stays) + ",\"windowsRefuses\":" + std::to_string(c.refused) +
                     ",\"journal\":" + JsonOrNull(s.journalPath) + folders + stopped + "}\n");
        return;
    }
    if (!s.stopped.empty()) return;
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
    if (s.folders) {
        line += "; folders: " + std::to_string(c.foldersMade) + (s.dryRun ? " to make, " : " made, ") +
                std::to_string(c.foldersRemoved) + (s.dryRun ? " to remove" : " removed");
    }
    console_.Out(line + "\n");
    if (!s.journalPath.empty()) console_.Out("journal: " + s.journalPath + " (pelmora --undo puts the names back)\n");
}

std::string JsonString(const std::string& text) {
    static constexpr char kHex[] = "0123456789abcdef";
    std::string out = "\"";
    for (std::size_t i = 0; i < text.size();) {
        const platform::TUtf8Sequence sequence = platform::NextUtf8(text, i);
        const char32_t c = sequence.codePoint;
        if (!sequence.valid) {
            // One byte at a time, each kept as a lone surrogate.
            const auto byte = static_cast<unsigned char>(text[i++]);
            out += "\\udc";
            out += kHex[byte >> 4];
            out += kHex[byte & 0xF];
        } else if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
            ++i;
        } else if (IsControl(c)) {
            // C1 controls too: the console would print them as "\\x85", which JSON does not know.
            out += "\\u00";
            out += kHex[c >> 4];
            out += kHex[c & 0xF];
            i += sequence.length;
        } else {
            out.append(text, i, sequence.length);
            i += sequence.length;
        }
    }
    return out + "\"";
}

}  // namespace host
