// The pelmora command's run: the walk over files and folders, the plug-in
// driven as a host drives it, the preview marks, the journal writer and undo.
#include "HostCore.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <map>
#include <memory>

#include "HostSystem.h"
#include "HostText.h"
#include "Pelmora.h"
#include "platform.h"

namespace host {

namespace {

constexpr const char* kProgram = "pelmora";
constexpr unsigned char kFirstPrintable = 0x20;
constexpr unsigned kMaxJournalSequence = 1000;
constexpr auto kProgressDelay = std::chrono::seconds(1);
constexpr auto kProgressInterval = std::chrono::milliseconds(200);
constexpr std::size_t kJournalReadChunk = 65536;
// The longest file name: 255 bytes on the usual POSIX file systems, 255
// UTF-16 units (so 255 Windows-1251 characters) on Windows.
constexpr std::size_t kMaxNameLength = 255;
// What the plug-in builds from a pattern whose values are all empty.
constexpr const char* kExtensionOnly = ".mp3";

bool IsWindowsBuild() { return kPathDelimiter == '\\'; }

// Delimiters that end a folder in a path this build's file system takes
// (Windows takes "/" too).
bool IsSlash(char c) { return c == kPathDelimiter || c == '/'; }

std::string JoinPath(const std::string& folder, const std::string& name) {
    if (folder.empty()) return name;
    if (IsSlash(folder.back())) return folder + name;
    return folder + kPathDelimiter + name;
}

std::string ParentOf(const std::string& path) {
    for (std::size_t i = path.size(); i > 0; --i) {
        if (IsSlash(path[i - 1])) return i == 1 ? path.substr(0, 1) : path.substr(0, i - 1);
    }
    return ".";
}

// The plug-in's own rule for where the folder part of an 8-bit path ends.
std::size_t AnsiFolderLength(const std::string& ansiPath) {
    for (std::size_t i = ansiPath.size(); i > 0; --i) {
        if (platform::IsPathDelimiter(ansiPath[i - 1])) return i;
    }
    return 0;
}

std::string FieldText(const char* field, std::size_t width) {
    const void* end = std::memchr(field, 0, width);
    const std::size_t length = end == nullptr ? width : static_cast<std::size_t>(static_cast<const char*>(end) - field);
    return platform::AnsiToUtf8(std::string(field, length));
}

bool WildcardMatch(const std::string& text, const std::string& mask) {
    std::size_t t = 0, m = 0, starMask = std::string::npos, starText = 0;
    while (t < text.size()) {
        if (m < mask.size() && (mask[m] == '?' || mask[m] == text[t])) {
            ++t;
            ++m;
        } else if (m < mask.size() && mask[m] == '*') {
            starMask = m++;
            starText = t;
        } else if (starMask != std::string::npos) {
            m = starMask + 1;
            t = ++starText;
        } else {
            return false;
        }
    }
    while (m < mask.size() && mask[m] == '*') ++m;
    return m == mask.size();
}

bool ReadWholeFile(const std::string& path, std::string& text) {
    std::FILE* file = OpenForReading(path);
    if (file == nullptr) return false;
    text.clear();
    std::vector<char> chunk(kJournalReadChunk);
    for (std::size_t n; (n = std::fread(chunk.data(), 1, chunk.size(), file)) > 0;) text.append(chunk.data(), n);
    const bool ok = std::ferror(file) == 0;
    std::fclose(file);
    return ok;
}

struct TFileCloser {
    void operator()(std::FILE* file) const {
        if (file != nullptr) std::fclose(file);
    }
};
using TFilePtr = std::unique_ptr<std::FILE, TFileCloser>;

// ---------------------------------------------------------------- plug-in

// The plug-in as a host sees it: a library file and its eight exports.
class TPluginHost : public PluginExports {
public:
    bool Load(const std::string& path, std::string& error) {
        if (!library_.Load(path, error)) return false;
        if (Resolve([this](const char* name) { return library_.Symbol(name); })) return true;
        error = "not a rename plug-in: an export is missing";
        return false;
    }

private:
    TLibrary library_;
};

// An options record from the plug-in's heap, given back through freeOpt.
class TOptionsRecord {
public:
    explicit TOptionsRecord(const TPluginHost& plugin) : plugin_(plugin) { plugin_.newOpt(&record_); }
    ~TOptionsRecord() {
        if (record_ != nullptr) plugin_.freeOpt(record_);
    }
    TOptionsRecord(const TOptionsRecord&) = delete;
    TOptionsRecord& operator=(const TOptionsRecord&) = delete;
    PluginOptions* Get() const { return record_; }

private:
    const TPluginHost& plugin_;
    PluginOptions* record_ = nullptr;
};

struct TDescriptor {
    std::string version, title, author, mask;
    std::int32_t optionsSize = 0;
};

TDescriptor ReadDescriptor(const TPluginHost& plugin) {
    PluginInfo info {};
    plugin.getInfo(&info);
    TDescriptor d;
    d.version = FieldText(info.version, sizeof info.version);
    d.title = FieldText(info.title, sizeof info.title);
    d.author = FieldText(info.author, sizeof info.author);
    d.mask = FieldText(info.mask, sizeof info.mask);
    std::memcpy(&d.optionsSize, &info.optionsSize, sizeof d.optionsSize);
    return d;
}

// The plug-in beside the program, or where an installation puts it.
std::string DefaultPlugin(const THostContext& context) {
    const std::string beside = JoinPath(context.programFolder, context.defaultPluginFile);
    if (Exists(beside) || IsWindowsBuild()) return beside;
    const std::string installed = JoinPath(ParentOf(context.programFolder), "lib/pelmora/" + context.defaultPluginFile);
    return Exists(installed) ? installed : beside;
}

// One process call; the path handed back, copied out of the plug-in's storage.
std::string CallProcess(const TPluginHost& plugin, PluginOptions* record, const std::string& ansiPath, bool preview) {
    std::vector<char> text(ansiPath.begin(), ansiPath.end());
    text.push_back('\0');
    char* path = text.data();
    PluginOptions* options = record;
    plugin.process(&path, text.data(), nullptr, nullptr, &options, preview ? 1 : 0);
    return path != nullptr ? std::string(path) : ansiPath;
}

// ---------------------------------------------------------------- output

class TReporter {
public:
    explicit TReporter(const THostContext& context) : context_(context) {}
    // Each false, and Broken() true from then on, when the text could not be written.
    bool Out(const std::string& text) {
        ClearProgress();
        return Emit(context_.out, Shown(text), outBroken_);
    }
    bool Err(const std::string& text) {
        ClearProgress();
        return Emit(context_.err, std::string(kProgram) + ": " + Shown(text + "\n"), errBroken_);
    }
    bool Broken() const { return outBroken_ || errBroken_; }
    const char* BrokenStream() const { return outBroken_ ? "standard output" : "standard error"; }
    // A progress line on a terminal, once the run has taken a second.
    void Progress(std::size_t done, std::size_t total) {
        if (!context_.errIsTerminal || !context_.err) return;
        const auto now = std::chrono::steady_clock::now();
        // Throttled even when a printed line has just cleared it.
        if (now - start_ < kProgressDelay || now - last_ < kProgressInterval) return;
        last_ = now;
        std::string line = "\r" + std::string(kProgram) + ": " + std::to_string(done) + " of " + std::to_string(total) +
                           " files";
        width_ = std::max(width_, line.size());
        shown_ = Emit(context_.err, line, errBroken_);
    }
    void ClearProgress() {
        if (!shown_) return;
        shown_ = false;
        Emit(context_.err, "\r" + std::string(width_, ' ') + "\r", errBroken_);
    }

private:
    // Lines as printed: control characters escaped, the line's own end kept.
    static std::string Shown(const std::string& text) {
        if (!EndsWith(text, "\n")) return Printable(text);
        return Printable(text.substr(0, text.size() - 1)) + "\n";
    }
    static bool Emit(const std::function<bool(const std::string&)>& sink, const std::string& text, bool& broken) {
        if (!sink) return true;
        if (!sink(text)) broken = true;
        return !broken;
    }

    const THostContext& context_;
    std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
    std::chrono::steady_clock::time_point last_ {};
    std::size_t width_ = 0;
    bool shown_ = false;
    bool outBroken_ = false;
    bool errBroken_ = false;
};

// ---------------------------------------------------------------- journal

class TJournalWriter {
public:
    TJournalWriter(const TCommand& command, const THostContext& context, std::string stamp)
        : command_(command), context_(context), stamp_(std::move(stamp)) {}

    const std::string& Path() const { return path_; }
    bool IsOpen() const { return file_ != nullptr; }

    // Made at the first rename, so that a run that renames nothing leaves no
    // journal to shadow the one before it.
    bool Open(std::string& error) {
        if (file_ != nullptr) return true;
        if (!command_.journalPath.empty()) return OpenNamed(command_.journalPath, error);
        if (context_.stateFolder.empty()) {
            error = "no folder for the undo journal (HOME is not set); use --journal FILE or --no-journal";
            return false;
        }
        if (!MakeFolders(context_.stateFolder)) {
            error = "cannot make the journal folder " + context_.stateFolder + "; use --journal FILE or --no-journal";
            return false;
        }
        for (unsigned sequence = 0; sequence < kMaxJournalSequence; ++sequence) {
            const std::string path = JoinPath(context_.stateFolder, JournalName(stamp_, sequence));
            if (Exists(path)) continue;
            file_.reset(CreateNewFile(path));
            if (file_ != nullptr) {
                path_ = path;
                return WriteHeader(error);
            }
        }
        error = "cannot create a journal in " + context_.stateFolder;
        return false;
    }

    bool Write(const char* kind, const std::string& oldPath, const std::string& newPath) {
        const std::string line = JournalLine(kind, oldPath, newPath);
        return std::fputs(line.c_str(), file_.get()) >= 0 && FlushFile(file_.get());
    }

private:
    bool OpenNamed(const std::string& path, std::string& error) {
        if (Exists(path)) {
            std::string text;
            if (!ReadWholeFile(path, text) || !StartsWith(text, kJournalHeader)) {
                error = path + " exists and is not a pelmora journal; it is left alone";
                return false;
            }
            file_.reset(OpenForAppending(path));
            path_ = path;
            if (file_ != nullptr) return true;
        } else {
            file_.reset(CreateNewFile(path));
            path_ = path;
            if (file_ != nullptr) return WriteHeader(error);
        }
        error = "cannot write the journal " + path;
        return false;
    }

    bool WriteHeader(std::string& error) {
        const std::string header = std::string(kJournalHeader) + "\n# started " + stamp_ + "\n";
        if (std::fputs(header.c_str(), file_.get()) >= 0 && FlushFile(file_.get())) return true;
        error = "cannot write the journal " + path_;
        return false;
    }

    const TCommand& command_;
    const THostContext& context_;
    std::string stamp_;
    std::string path_;
    TFilePtr file_;
};

// ---------------------------------------------------------------- rename run

struct TCounts {
    std::size_t seen = 0, renamed = 0, unchanged = 0, failed = 0, stays = 0, refused = 0, skipped = 0;
};

// A file of the run and the path the plug-in is handed for it: the whole
// path, or, when the folder's name is beyond Windows-1251, the name alone
// from inside the folder, as a host working in that folder would hand it.
struct TRunFile {
    std::string path;
    std::string ansi;
    bool inFolder = false;
};

class TRenameRun {
public:
    TRenameRun(const TCommand& command, const THostContext& context)
        : command_(command), context_(context), report_(context), journal_(command, context, TimeStamp()) {}

    int Run() {
        std::string error;
        const std::string pluginPath = command_.pluginPath.empty() ? DefaultPlugin(context_) : command_.pluginPath;
        if (!plugin_.Load(pluginPath, error)) {
            report_.Err("cannot load the plug-in " + pluginPath + ": " + error);
            return kExitUsage;
        }
        descriptor_ = ReadDescriptor(plugin_);
        if (descriptor_.optionsSize != static_cast<std::int32_t>(sizeof(PluginOptions))) {
            report_.Err("the plug-in's options record is " + std::to_string(descriptor_.optionsSize) +
                        " bytes; this host fills " + std::to_string(sizeof(PluginOptions)));
            return kExitUsage;
        }
        std::string ansiPattern;
        if (!platform::Utf8ToAnsi(command_.pattern, ansiPattern)) {
            report_.Err("the pattern holds a character that Windows-1251, the plug-in's code page, cannot hold");
            return kExitUsage;
        }
        if (ansiPattern.size() > sizeof(PluginOptions::pattern)) {
            report_.Err("the pattern is longer than " + std::to_string(sizeof(PluginOptions::pattern)) + " bytes");
            return kExitUsage;
        }
        TOptionsRecord record(plugin_);
        if (record.Get() == nullptr) {
            report_.Err("the plug-in gave no options record");
            return kExitUsage;
        }
        std::memset(record.Get(), 0, sizeof(PluginOptions));
        std::memcpy(record.Get()->pattern, ansiPattern.data(), ansiPattern.size());
        const std::int32_t tagSource = command_.tagSource;
        std::memcpy(&record.Get()->tagSource, &tagSource, sizeof tagSource);

        for (const std::string& argument : command_.paths) {
            if (report_.Broken()) break;
            CollectArgument(argument);
        }
        std::size_t done = 0;
        for (; done < files_.size() && !report_.Broken(); ++done) {
            report_.Progress(done, files_.size());
            if (!HandleFile(record.Get(), files_[done])) break;
        }
        report_.ClearProgress();
        if (report_.Broken()) return Stopped(done);
        Summary();
        if (report_.Broken()) return Stopped(done);
        if (counts_.failed > 0) return kExitFailed;
        // A preview fails where the real run would leave a file in place.
        if (command_.dryRun && counts_.stays > 0) return kExitFailed;
        return kExitSuccess;
    }

private:
    std::string Normalised(std::string path) const {
        if (IsWindowsBuild()) std::replace(path.begin(), path.end(), '/', '\\');
        return path;
    }

    // Output that cannot be written ends the run before the next file; what
    // was renamed is said on standard error, the one stream perhaps left.
    int Stopped(std::size_t done) {
        std::string line = "cannot write to " + std::string(report_.BrokenStream()) + "; stopped after " +
                           std::to_string(done) + " of " + std::to_string(files_.size()) + " files";
        if (command_.dryRun) {
            line += " (a preview: nothing renamed)";
        } else {
            line += ", " + std::to_string(counts_.renamed) + " renamed";
            line += journal_.IsOpen() ? "; journal: " + journal_.Path() + " (pelmora --undo puts the names back)"
                                      : std::string(command_.noJournal ? "; no journal kept" : "");
        }
        if (context_.err) context_.err(std::string(kProgram) + ": " + Printable(line) + "\n");
        return kExitFailed;
    }

    void Fail(const std::string& message) {
        report_.Err(message);
        ++counts_.seen;
        ++counts_.failed;
    }

    // Entries that are not files to rename: said, left alone, not failures.
    void Skip(const std::string& path, const std::string& why) {
        report_.Err(path + ": " + why + "; skipped");
        ++counts_.skipped;
    }

    void AddFile(const std::string& path) {
        if (known_.insert(NameKey(path)).second) files_.push_back(path);
    }

    std::string NameOf(const std::string& path) const {
        std::size_t end = path.size();
        while (end > 1 && IsSlash(path[end - 1])) --end;
        std::size_t start = end;
        while (start > 0 && !IsSlash(path[start - 1])) --start;
        return path.substr(start, end - start);
    }

    // A link is left alone, so that renaming never leaves one pointing at nothing.
    void SkipLink(const std::string& path, TFileKind target, bool wanted) {
        switch (target) {
        case TFileKind::Missing:
            if (wanted) Skip(path, "a link to nothing");
            break;
        case TFileKind::Folder: Skip(path, "a link to a folder, not followed"); break;
        case TFileKind::File:
            if (wanted) Skip(path, "a symbolic link, left alone (its target keeps its own name unless named itself)");
            break;
        case TFileKind::Other:
            if (wanted) Skip(path, "a link to something other than a file");
            break;
        }
    }

    void CollectArgument(const std::string& argument) {
        const std::string path = Normalised(argument);
        const TEntryInfo info = Examine(path);
        if (!info.error.empty()) {
            Fail(path + ": cannot examine: " + info.error);
            return;
        }
        const bool wanted = MatchesMask(NameOf(path), descriptor_.mask);
        if (info.link && info.kind != TFileKind::Folder) {
            // A linked folder named by the user is the folder meant; links to files are not.
            SkipLink(path, info.kind, true);
            return;
        }
        switch (info.kind) {
        case TFileKind::Folder: CollectFolder(path); break;
        case TFileKind::File:
            if (wanted) {
                AddFile(path);
            } else {
                report_.Err(path + ": not a file the plug-in handles (" + descriptor_.mask + "); left alone");
            }
            break;
        case TFileKind::Missing: Fail(path + ": no such file or folder"); break;
        case TFileKind::Other: Skip(path, "not a regular file"); break;
        }
    }

    void CollectFolder(const std::string& folder) {
        std::vector<TFolderEntry> entries;
        std::string error;
        if (!ListFolderEntries(folder, entries, error)) {
            Fail(folder + ": cannot read the folder: " + error);
            return;
        }
        std::sort(entries.begin(), entries.end(),
                  [](const TFolderEntry& a, const TFolderEntry& b) { return a.name < b.name; });
        std::vector<std::string> subfolders;
        for (TFolderEntry& entry : entries) {
            if (report_.Broken()) return;
            const std::string path = JoinPath(folder, entry.name);
            const bool wanted = MatchesMask(entry.name, descriptor_.mask);
            if (!entry.known) {
                // The listing could not tell (a link, or a file system without
                // kinds): one look at this entry only.
                if (!wanted && !command_.recursive && !entry.link) continue;
                const TEntryInfo info = Examine(path);
                if (!info.error.empty()) {
                    if (wanted || command_.recursive) Fail(path + ": cannot examine: " + info.error);
                    continue;
                }
                entry.kind = info.kind;
                entry.link = info.link;
            }
            if (entry.link) {
                if (wanted || (command_.recursive && entry.kind == TFileKind::Folder)) {
                    SkipLink(path, entry.kind, wanted);
                }
                continue;
            }
            switch (entry.kind) {
            case TFileKind::File:
                if (wanted) AddFile(path);
                break;
            case TFileKind::Folder:
                if (command_.recursive) {
                    subfolders.push_back(path);
                } else if (wanted) {
                    report_.Err(path + ": a folder, not a file; left alone (-r looks inside)");
                }
                break;
            case TFileKind::Missing: break;  // gone since the listing
            case TFileKind::Other:
                if (wanted) Skip(path, "not a regular file");
                break;
            }
        }
        for (const std::string& subfolder : subfolders) CollectFolder(subfolder);
    }

    // Why names cannot be added to or taken from a folder; empty when they
    // can. Asked once per folder.
    const std::string& FolderRefusal(const std::string& folder) {
        const auto known = folderRefusals_.find(folder);
        if (known != folderRefusals_.end()) return known->second;
        std::string error;
        const TEntryInfo info = Examine(folder);
        if (info.kind != TFileKind::Folder) {
            error = "no folder " + folder + (info.error.empty() ? "" : ": " + info.error);
        } else if (!CanChangeFolder(folder, error)) {
            error = "cannot write in " + folder + ": " + error;
        }
        return folderRefusals_.emplace(folder, error).first->second;
    }

    // The marks of one rename: why a real run leaves it, and what Windows refuses.
    struct TVerdict {
        bool stays = false;
        std::vector<std::string> marks;
    };

    TVerdict Judge(const TRunFile& file, const std::string& ansiNew, const std::string& newPath) {
        TVerdict verdict;
        const std::string oldKey = NameKey(file.path);
        const std::string newKey = NameKey(newPath);
        // The name as the plug-in built it: everything after the old folder.
        const std::size_t folderLength = AnsiFolderLength(file.ansi);
        const bool sameStart = ansiNew.compare(0, folderLength, file.ansi, 0, folderLength) == 0;
        const std::string ansiName = sameStart ? ansiNew.substr(folderLength) : ansiNew;
        const bool otherFolder =
            !sameStart || std::any_of(ansiName.begin(), ansiName.end(), [](char c) {
                return (platform::IsPathDelimiter(c) || IsSlash(c)) && c != ':';
            });
        switch (plan_.Check(oldKey, newKey, Exists(newPath))) {
        case TBlock::Exists: verdict.marks.push_back("exists already"); break;
        case TBlock::Collision: verdict.marks.push_back("an earlier file takes this name"); break;
        case TBlock::None: break;
        }
        if (otherFolder) {
            // Text of the pattern such as "../" moves the file out of its folder.
            verdict.marks.push_back("the pattern leads into another folder");
            const std::string& refusal = FolderRefusal(ParentOf(newPath));
            if (!refusal.empty()) verdict.marks.push_back(refusal);
        }
        verdict.stays = !verdict.marks.empty();
        const std::string refusal = otherFolder ? std::string() : WindowsRefusal(ansiName);
        if (!refusal.empty()) {
            ++counts_.refused;
            verdict.marks.push_back("Windows refuses " + platform::AnsiToUtf8(refusal));
            if (IsWindowsBuild() || !command_.allowPosixNames) verdict.stays = true;
        }
        if (ansiName == kExtensionOnly) {
            verdict.marks.push_back("no name before the extension");
            verdict.stays = true;
        }
        if (!IsWindowsBuild() && NameOf(newPath).size() > kMaxNameLength) {
            verdict.marks.push_back("name too long");
            verdict.stays = true;
        }
        const std::string& folderRefusal = FolderRefusal(ParentOf(file.path));
        if (!folderRefusal.empty()) {
            verdict.marks.push_back(folderRefusal);
            verdict.stays = true;
        }
        if (verdict.stays) {
            verdict.marks.back() += ": stays";
        } else {
            plan_.Claim(oldKey, newKey);
        }
        return verdict;
    }

    static std::string Marked(const std::vector<std::string>& marks) {
        if (marks.empty()) return {};
        std::string text = "  [";
        for (std::size_t i = 0; i < marks.size(); ++i) text += (i > 0 ? "; " : "") + marks[i];
        return text + "]";
    }

    // One process call for a file, from inside its folder when it is handed
    // over by name alone; the path handed back, in UTF-8. False with a reason
    // when the folder cannot be entered or left.
    bool Process(PluginOptions* record, const TRunFile& file, bool preview, std::string& ansiResult,
                 std::string& error) {
        if (!file.inFolder) {
            ansiResult = CallProcess(plugin_, record, file.ansi, preview);
            return true;
        }
        if (!workingFolder_.Enter(ParentOf(file.path), error)) return false;
        ansiResult = CallProcess(plugin_, record, file.ansi, preview);
        if (workingFolder_.Leave()) return true;
        error = "cannot return to the working folder";
        return false;
    }

    std::string PathOf(const TRunFile& file, const std::string& ansiResult) const {
        const std::string result = platform::AnsiToUtf8(ansiResult);
        return file.inFolder ? JoinPath(ParentOf(file.path), result) : result;
    }

    // False when the run must stop (the journal cannot be written).
    bool HandleFile(PluginOptions* record, const std::string& path) {
        TRunFile file {path, {}, false};
        if (!platform::Utf8ToAnsi(path, file.ansi)) {
            if (!platform::Utf8ToAnsi(NameOf(path), file.ansi)) {
                Fail(path + ": the name cannot be written in Windows-1251, the plug-in's code page; left alone");
                return true;
            }
            file.inFolder = true;
        }
        std::string ansiNew, error;
        if (!Process(record, file, true, ansiNew, error)) {
            Fail(path + ": " + error + "; stopped");
            return false;
        }
        ++counts_.seen;
        if (ansiNew == file.ansi) {
            // The plug-in keeps the name of a file it cannot read too; only then is it asked why.
            std::string reason;
            if (!CanRead(path, reason)) {
                ++counts_.failed;
                report_.Err(path + ": cannot read: " + reason + "; left alone");
            } else {
                ++counts_.unchanged;
            }
            return true;
        }
        const std::string newPath = PathOf(file, ansiNew);
        const TVerdict verdict = Judge(file, ansiNew, newPath);
        if (command_.dryRun) {
            report_.Out(path + " -> " + newPath + Marked(verdict.marks) + "\n");
            if (verdict.stays) {
                ++counts_.stays;
            } else {
                ++counts_.renamed;
            }
            return true;
        }
        if (verdict.stays) {
            ++counts_.failed;
            report_.Err(path + ": not renamed to " + newPath + Marked(verdict.marks));
            return true;
        }
        return Rename(record, file, newPath, verdict);
    }

    // Why a move the plug-in did not make failed, as far as the disk tells.
    std::string WhyNotMoved(const std::string& path, const std::string& newPath) {
        const TEntryInfo old = Examine(path);
        if (old.kind == TFileKind::Missing) return "the file is gone" + (old.error.empty() ? "" : ": " + old.error);
        if (NameKey(path) != NameKey(newPath) && Exists(newPath)) return "a file of that name exists";
        folderRefusals_.clear();  // the disk may have changed since the preview's look
        for (const std::string& folder : {ParentOf(newPath), ParentOf(path)}) {
            const std::string& refusal = FolderRefusal(folder);
            if (!refusal.empty()) return refusal;
        }
        if (NameOf(newPath).size() > kMaxNameLength || WindowsRefusal(NameOf(newPath)).size() > 0) {
            return "the system refuses the name (too long or not allowed)";
        }
        std::string reason;
        if (!CanRead(path, reason)) return reason;
        return "the system refused the move";
    }

    bool Rename(PluginOptions* record, const TRunFile& file, const std::string& newPath, const TVerdict& verdict) {
        const std::string& path = file.path;
        const std::string absoluteOld = AbsolutePath(path);
        if (!command_.noJournal) {
            std::string error;
            // Written before the move, so a run killed inside process still
            // leaves the rename on record.
            if (!journal_.Open(error) || !journal_.Write(kKindRenaming, absoluteOld, AbsolutePath(newPath))) {
                report_.Err(error.empty() ? "cannot write the journal " + journal_.Path() : error);
                report_.Err("stopped before renaming " + path);
                ++counts_.failed;
                return false;
            }
        }
        std::string ansiResult, error;
        if (!Process(record, file, false, ansiResult, error)) {
            ++counts_.failed;
            report_.Err(path + ": " + error + "; stopped");
            return false;
        }
        if (ansiResult == file.ansi) {
            ++counts_.failed;
            report_.Err(path + ": not renamed to " + newPath + ": " + WhyNotMoved(path, newPath));
            return JournalStep(kKindFailed, absoluteOld, AbsolutePath(newPath), path);
        }
        ++renames_;
        if (context_.killAfterRenames > 0 && renames_ >= context_.killAfterRenames) KillSelf();
        std::string resultPath = PathOf(file, ansiResult);
        // The name the folder lists is the truth: a file system layer may cut a
        // name it cannot hold and still report the move done.
        const std::string listed = ListedName(resultPath);
        std::string note;
        if (listed.empty()) {
            if (Exists(path)) {
                ++counts_.failed;
                report_.Err(path + ": not renamed to " + resultPath + ": the plug-in reported the move, but the file stays");
                return JournalStep(kKindFailed, absoluteOld, AbsolutePath(resultPath), path);
            }
            ++counts_.failed;
            report_.Err(path + ": renamed to " + resultPath + ", but no file stands at that name");
        } else if (NameKey(JoinPath(ParentOf(resultPath), listed)) != NameKey(resultPath)) {
            const std::string really = JoinPath(ParentOf(resultPath), listed);
            ++counts_.failed;
            report_.Err(path + ": renamed to " + resultPath + ", but the folder lists it as " + listed);
            resultPath = really;
            note = "  [the folder lists it as " + listed + "]";
        }
        ++counts_.renamed;
        if (!JournalStep(kKindRenamed, absoluteOld, AbsolutePath(resultPath), path)) return false;
        report_.Out(path + " -> " + resultPath + Marked(verdict.marks) + note + "\n");
        return true;
    }

    // False, with the run stopped, when the journal cannot be written.
    bool JournalStep(const char* kind, const std::string& oldPath, const std::string& newPath, const std::string& path) {
        if (!journal_.IsOpen() || journal_.Write(kind, oldPath, newPath)) return true;
        report_.Err("cannot write the journal " + journal_.Path() + "; stopped after " + path);
        return false;
    }

    void Summary() {
        std::string line = std::to_string(counts_.seen) + " seen, " + std::to_string(counts_.renamed) +
                           (command_.dryRun ? " to rename, " : " renamed, ") + std::to_string(counts_.unchanged) +
                           " unchanged, " + std::to_string(counts_.failed) + " failed";
        if (counts_.skipped > 0) line += ", " + std::to_string(counts_.skipped) + " skipped";
        if (command_.dryRun && (counts_.stays > 0 || counts_.refused > 0)) {
            line += "; marked: " + std::to_string(counts_.stays) + " would stay, " + std::to_string(counts_.refused) +
                    " with a name Windows refuses";
        } else if (counts_.refused > 0) {
            line += "; " + std::to_string(counts_.refused) + " with a name Windows refuses";
        }
        report_.Out(line + "\n");
        if (journal_.IsOpen()) report_.Out("journal: " + journal_.Path() + " (pelmora --undo puts the names back)\n");
    }

    const TCommand& command_;
    const THostContext& context_;
    TReporter report_;
    TPluginHost plugin_;
    TDescriptor descriptor_;
    TJournalWriter journal_;
    TRunPlan plan_;
    TCounts counts_;
    std::vector<std::string> files_;
    std::set<std::string> known_;
    std::map<std::string, std::string> folderRefusals_;
    TWorkingFolder workingFolder_;
    long renames_ = 0;
};

// ---------------------------------------------------------------- undo

int RunUndo(const TCommand& command, const THostContext& context) {
    TReporter report(context);
    std::string path = command.undoJournal;
    if (path.empty()) {
        std::vector<std::string> names;
        std::string error;
        if (context.stateFolder.empty() || !ListFolder(context.stateFolder, names, error) ||
            (path = NewestJournal(names)).empty()) {
            report.Err("no journal in " + (context.stateFolder.empty() ? std::string("the state folder")
                                                                        : context.stateFolder) + "; nothing to undo");
            return kExitFailed;
        }
        path = JoinPath(context.stateFolder, path);
    }
    std::string text;
    if (!ReadWholeFile(path, text)) {
        report.Err(path + ": cannot read the journal");
        return kExitFailed;
    }
    std::vector<TJournalEntry> entries;
    if (!ParseJournal(text, entries)) {
        report.Err(path + ": not a pelmora journal");
        return kExitFailed;
    }
    TFilePtr journal;
    if (!command.dryRun) {
        journal.reset(OpenForAppending(path));
        if (journal == nullptr) report.Err(path + ": cannot note the undo in the journal; a second undo will say so");
    }
    std::size_t restored = 0, inPlace = 0, leftAlone = 0;
    for (auto entry = entries.rbegin(); entry != entries.rend(); ++entry) {
        if (entry->undone || entry->state == TEntryState::Failed) continue;
        const bool caseOnly = NameKey(entry->oldPath) == NameKey(entry->newPath);
        const bool newThere = Exists(entry->newPath);
        const bool oldThere = !caseOnly && Exists(entry->oldPath);
        // A run killed between its journal line and the move: did the move happen?
        if (entry->state == TEntryState::Pending && !(newThere && !oldThere)) continue;
        if (!newThere) {
            if (oldThere) {
                ++inPlace;
            } else {
                ++leftAlone;
                report.Err(entry->newPath + " is gone; " + entry->oldPath + " cannot be restored");
            }
            continue;
        }
        if (oldThere) {
            ++leftAlone;
            report.Err(entry->newPath + ": not put back, a file stands at " + entry->oldPath + "; left alone");
            continue;
        }
        std::string error;
        if (!command.dryRun && !MoveNoReplace(entry->newPath, entry->oldPath, error)) {
            ++leftAlone;
            report.Err(entry->newPath + ": not put back to " + entry->oldPath + ": " + error);
            continue;
        }
        ++restored;
        report.Out(entry->newPath + " -> " + entry->oldPath + "\n");
        if (journal != nullptr) {
            const std::string line = JournalLine(kKindUndone, entry->oldPath, entry->newPath);
            std::fputs(line.c_str(), journal.get());
            FlushFile(journal.get());
        }
    }
    report.Out(std::to_string(restored) + (command.dryRun ? " to restore, " : " restored, ") +
               std::to_string(inPlace) + " already in place, " + std::to_string(leftAlone) + " left alone (" + path +
               ")\n");
    return leftAlone > 0 ? kExitFailed : kExitSuccess;
}

int RunVersion(const TCommand& command, const THostContext& context) {
    TReporter report(context);
    TPluginHost plugin;
    std::string error;
    const std::string pluginPath = command.pluginPath.empty() ? DefaultPlugin(context) : command.pluginPath;
    if (!plugin.Load(pluginPath, error)) {
        report.Err("cannot load the plug-in " + pluginPath + ": " + error);
        return kExitUsage;
    }
    const TDescriptor d = ReadDescriptor(plugin);
    report.Out(std::string(kProgram) + " " + d.version + " (" + d.title + " by " + d.author + ", handles " + d.mask +
               ")\n");
    return kExitSuccess;
}

}  // namespace

// ---------------------------------------------------------------- public

bool MatchesMask(const std::string& name, const std::string& masks) {
    const std::string upperName = AsciiUpper(name);
    std::size_t start = 0;
    while (start <= masks.size()) {
        std::size_t end = masks.find(';', start);
        if (end == std::string::npos) end = masks.size();
        std::string mask = masks.substr(start, end - start);
        mask.erase(0, mask.find_first_not_of(' '));
        mask.erase(mask.find_last_not_of(' ') + 1);
        if (!mask.empty() && WildcardMatch(upperName, AsciiUpper(mask))) return true;
        start = end + 1;
    }
    return false;
}

std::string WindowsRefusal(const std::string& ansiName) {
    static constexpr const char* kRefused = "<>:\"|?*\\/";
    for (const char c : ansiName) {
        const auto u = static_cast<unsigned char>(c);
        if (u < kFirstPrintable) {
            char code[8];
            std::snprintf(code, sizeof code, "%02X", u);
            return std::string("the control character ") + code;
        }
        if (std::strchr(kRefused, c) != nullptr) return std::string("\"") + c + "\"";
    }
    if (ansiName.size() > kMaxNameLength) return "a name longer than " + std::to_string(kMaxNameLength) + " characters";
    if (!ansiName.empty() && (ansiName.back() == '.' || ansiName.back() == ' ')) {
        return std::string("a name ending in \"") + ansiName.back() + "\"";
    }
    // Device names stay reserved whatever extension follows them.
    std::string base = AsciiUpper(ansiName.substr(0, ansiName.find('.')));
    base.erase(base.find_last_not_of(' ') + 1);
    static constexpr const char* kReserved[] = {"CON", "PRN", "AUX", "NUL"};
    bool reserved = std::any_of(std::begin(kReserved), std::end(kReserved), [&](const char* r) { return base == r; });
    constexpr std::size_t kNumberedLength = 4;
    if (base.size() == kNumberedLength && (StartsWith(base, "COM") || StartsWith(base, "LPT")) && base[3] >= '1' &&
        base[3] <= '9') {
        reserved = true;
    }
    if (reserved) return "the reserved name \"" + base + "\"";
    return {};
}

TBlock TRunPlan::Check(const std::string& oldKey, const std::string& newKey, bool targetOnDisk) const {
    if (claimed_.count(newKey) != 0) return TBlock::Collision;
    if (targetOnDisk && newKey != oldKey && vacated_.count(newKey) == 0) return TBlock::Exists;
    return TBlock::None;
}

void TRunPlan::Claim(const std::string& oldKey, const std::string& newKey) {
    claimed_.insert(newKey);
    if (oldKey != newKey) vacated_.insert(oldKey);
}

int RunPelmora(const std::vector<std::string>& args, const THostContext& context) {
    TCommand command;
    std::string error;
    if (!ParseCommandLine(args, command, error)) {
        if (context.err) context.err(std::string(kProgram) + ": " + error + "\nTry 'pelmora --help'.\n");
        return kExitUsage;
    }
    try {
        switch (command.action) {
        case TAction::Help:
            if (context.out) context.out(HelpText());
            return kExitSuccess;
        case TAction::Version: return RunVersion(command, context);
        case TAction::Undo: return RunUndo(command, context);
        case TAction::Rename: return TRenameRun(command, context).Run();
        }
    } catch (const std::exception& e) {
        if (context.err) context.err(std::string(kProgram) + ": " + e.what() + "\n");
    }
    return kExitFailed;
}

}  // namespace host
