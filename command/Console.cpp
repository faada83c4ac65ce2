// The console: lines shown one to a line, output gathered for a preview, the progress line.
#include "Console.h"

#include <algorithm>
#include <functional>
#include <string_view>

#include "Text.h"

namespace host {

namespace {

constexpr auto kProgressDelay = std::chrono::seconds(1);
constexpr auto kProgressInterval = std::chrono::milliseconds(200);
constexpr std::size_t kGatheredSize = 16 * 1024;
constexpr auto kGatheredAge = std::chrono::milliseconds(200);

// A text as printed: control characters as \xHH; the line's own end kept.
// In UTF-8 a control is one ASCII byte, or a C1 control's two bytes (0xC2,
// then 0x80-0x9F); no other character holds such bytes.
void AppendShown(std::string& out, const std::string& text) {
    constexpr unsigned char kC1Lead = 0xC2, kFirstNonAscii = 0x80;
    const bool line = text.ends_with('\n');
    const std::string_view shown = std::string_view(text).substr(0, text.size() - (line ? 1 : 0));
    std::size_t plain = 0;  // where the text not yet appended starts
    for (std::size_t i = 0; i < shown.size(); ++i) {
        const std::size_t at = i;
        auto c = static_cast<unsigned char>(shown[i]);
        if (c == kC1Lead && i + 1 < shown.size()) {
            const auto next = static_cast<unsigned char>(shown[i + 1]);
            if (next >= kFirstNonAscii && IsControl(next)) {
                c = next;
                ++i;
            }
        }
        if (i == at && (c >= kFirstNonAscii || !IsControl(c))) continue;
        out.append(shown, plain, at - plain);
        out += "\\x";
        out += kHexDigits[c >> 4];
        out += kHexDigits[c & 0xF];
        plain = i + 1;
    }
    out.append(shown, plain);
    if (line) out += '\n';
}

// False once the stream has failed: a later write that succeeds does not mend it.
bool Emit(const std::function<bool(const std::string&)>& sink, const std::string& text, bool& broken) {
    if (sink && !sink(text)) broken = true;
    return !broken;
}

}  // namespace

void TConsole::Out(const std::string& text) {
    ClearProgress();
    if (outBroken_) return;
    AppendShown(pending_, text);
    if (!gather_ || pending_.size() >= kGatheredSize || std::chrono::steady_clock::now() - flushed_ >= kGatheredAge) {
        Flush();
    }
}

void TConsole::Flush() {
    if (pending_.empty()) return;
    flushed_ = std::chrono::steady_clock::now();
    Emit(context_.out, pending_, outBroken_);
    pending_.clear();
}

void TConsole::Err(const std::string& text) {
    Flush();
    ClearProgress();
    // Appended, not prefixed: a prefix by operator+ draws a false -Wrestrict from GCC 12.
    std::string line = kProgram;
    line += ": ";
    AppendShown(line, text + "\n");
    Emit(context_.err, line, errBroken_);
}

void TConsole::Progress(std::size_t done, std::size_t total) {
    if (!context_.errIsTerminal || !context_.err) return;
    const auto now = std::chrono::steady_clock::now();
    // Throttled even when a printed line has just cleared it.
    if (now - start_ < kProgressDelay || now - last_ < kProgressInterval) return;
    last_ = now;
    Flush();
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

}  // namespace host
