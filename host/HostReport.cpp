// The console and the text reporter.
#include "HostReport.h"

#include <algorithm>

#include "HostText.h"

namespace host {

namespace {

constexpr auto kProgressDelay = std::chrono::seconds(1);
constexpr auto kProgressInterval = std::chrono::milliseconds(200);

// Lines as printed: control characters escaped, the line's own end kept.
std::string Shown(const std::string& text) {
    if (!EndsWith(text, "\n")) return Printable(text);
    return Printable(text.substr(0, text.size() - 1)) + "\n";
}

bool Emit(const std::function<bool(const std::string&)>& sink, const std::string& text, bool& broken) {
    if (!sink) return true;
    if (!sink(text)) broken = true;
    return !broken;
}

class TTextReporter : public TRunReporter {
public:
    explicit TTextReporter(TConsole& console) : console_(console) {}

    void File(const TFileReport& r) override {
        switch (r.result) {
        case TFileResult::Renamed:
        case TFileResult::ToRename:
        case TFileResult::WouldStay: console_.Out(r.path + " -> " + r.newPath + MarksText(r.marks) + "\n"); break;
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
};

}  // namespace

bool TConsole::Out(const std::string& text) {
    ClearProgress();
    return Emit(context_.out, Shown(text), outBroken_);
}

bool TConsole::Err(const std::string& text) {
    ClearProgress();
    // Appended, not prefixed: a prefix by operator+ draws a false -Wrestrict from GCC 12.
    std::string line = kProgram;
    line += ": ";
    line += Shown(text + "\n");
    return Emit(context_.err, line, errBroken_);
}

void TConsole::Progress(std::size_t done, std::size_t total) {
    if (!context_.errIsTerminal || !context_.err) return;
    const auto now = std::chrono::steady_clock::now();
    // Throttled even when a printed line has just cleared it.
    if (now - start_ < kProgressDelay || now - last_ < kProgressInterval) return;
    last_ = now;
    std::string line = "\r";
    line.append(kProgram).append(": ").append(std::to_string(done)).append(" of ").append(std::to_string(total));
    line += " files";
    width_ = std::max(width_, line.size());
    shown_ = Emit(context_.err, line, errBroken_);
}

void TConsole::ClearProgress() {
    if (!shown_) return;
    shown_ = false;
    std::string blank(width_ + 2, ' ');
    blank.front() = blank.back() = '\r';
    Emit(context_.err, blank, errBroken_);
}

std::unique_ptr<TRunReporter> MakeTextReporter(TConsole& console) { return std::make_unique<TTextReporter>(console); }

std::string MarksText(const std::vector<std::string>& marks) {
    if (marks.empty()) return {};
    std::string text = "  [";
    for (std::size_t i = 0; i < marks.size(); ++i) text += (i > 0 ? "; " : "") + marks[i];
    return text + "]";
}

}  // namespace host
