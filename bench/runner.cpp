// Times the contenders side by side over the same files and prints the
// figures as Markdown: the plug-in through its exports, TagLib, the
// system-call floor (one file after another and from 16 threads) and the
// whole pelmora command in preview with and without read-ahead, each run in
// its own process (so that its peak memory is its own), repeated and taken at
// the median. Warm (the default), the page cache is warmed first; cold, a
// command (--each) drops the caches before every run; on a share, it mounts
// the library afresh (and --after unmounts it). Then the bounded-work case:
// one hostile file through the plug-in.
//
//   bench_runner --library DIR [--title TEXT] [--hostile FILE] [--repeats N] [--pattern TEXT]
//                [--plugin PATH] [--bin DIR] [--work DIR] [--callgrind N]
//                [--mode warm|cold|share] [--each COMMAND] [--after COMMAND] [--list-from DIR]
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

extern char** environ;

namespace {

namespace fs = std::filesystem;

constexpr int kDefaultRepeats = 5;
constexpr int kHostileRepeats = 3;
constexpr char kBenchPattern[] = "*artist* - *title* *bitrate* *time*";
constexpr double kNsPerUs = 1e3;
constexpr double kNsPerS = 1e9;
constexpr double kKiBPerMiB = 1024.0;
// The goals the engine is held to.
constexpr double kLeastSpeedupOverTagLib = 3.0;
constexpr double kMostSlowdownOverFloor = 2.0;
constexpr double kMostCommandOverPlugin = 1.5;
constexpr double kMostCommandOverFloor = 2.5;
constexpr double kMostReadAheadOverNone = 1.1;  // warm: beyond this it is more than noise
// Cold and on a share the disk or the share is the limit: the floor from as
// many threads as it answers at once.
constexpr unsigned kFloorThreads = 16;
constexpr double kMostColdCommandOverThreadedFloor = 1.25;
constexpr double kLeastColdSpeedupOverTagLib = 3.5;
constexpr double kMostShareCommandOverThreadedFloor = 1.5;
constexpr double kLeastShareSpeedupOverTagLib = 2.5;

enum class TMode { Warm, Cold, Share };
constexpr double kMostPeakMiB = 16.0;
constexpr double kMostHostileSeconds = 2.0;

struct TOptions {
    fs::path bin;
    fs::path plugin;
    fs::path library;
    fs::path hostile;
    std::string title = "Library";
    fs::path work = fs::temp_directory_path();
    std::string pattern = kBenchPattern;
    int repeats = kDefaultRepeats;
    std::size_t callgrindFiles = 0;
    TMode mode = TMode::Warm;
    std::string each, after;  // shell commands run before and after every run
    fs::path listFrom;        // the files listed here, named under library
};

struct TRun {
    bool ok = false;
    std::size_t files = 0;
    long long ns = 0;
    long long cpuNs = 0;
    std::uint64_t hits = 0;
    std::string hash;
    std::vector<std::string> samples;
    long maxRssKiB = 0;  // the contender's own VmHWM
    std::string error;
};

struct TContender {
    std::string name;     // as shown in the table
    std::string program;  // file name in the bin folder
    std::vector<std::string> extra;
    std::vector<TRun> runs;
    TRun empty;
    // A program that walks the library itself (the pelmora command): timed
    // from the outside, less its start: the median of a run over an empty
    // folder made in every round, so that one slow start moves no round.
    bool walksFolders = false;
    std::vector<TRun> starts;
};

TContender Contender(std::string name, std::string program, std::vector<std::string> extra = {},
                     bool walksFolders = false) {
    TContender c;
    c.name = std::move(name);
    c.program = std::move(program);
    c.extra = std::move(extra);
    c.walksFolders = walksFolders;
    return c;
}

// Runs a program and collects its figures from its standard output.
TRun Spawn(const std::vector<std::string>& argv) {
    TRun run;
    int pipeFds[2];
    if (pipe2(pipeFds, O_CLOEXEC) != 0) {
        run.error = "pipe failed";
        return run;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDOUT_FILENO);
    std::vector<char*> args;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    pid_t pid = 0;
    const int spawned = posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(pipeFds[1]);
    if (spawned != 0) {
        close(pipeFds[0]);
        run.error = "cannot start " + argv[0] + ": " + std::strerror(spawned);
        return run;
    }
    std::string out;
    char buffer[4096];
    for (ssize_t n; (n = read(pipeFds[0], buffer, sizeof buffer)) != 0;) {
        if (n < 0) {
            if (errno == EINTR) continue;
            break;
        }
        out.append(buffer, static_cast<std::size_t>(n));
    }
    close(pipeFds[0]);
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        run.error = argv[0] + " failed (status " + std::to_string(status) + ")";
        return run;
    }
    std::istringstream lines(out);
    std::string line;
    while (std::getline(lines, line)) {
        std::istringstream words(line);
        std::string key;
        words >> key;
        if (key == "files") {
            std::string k;
            words >> run.files >> k >> run.ns >> k >> run.hits >> k >> run.hash >> k >> run.maxRssKiB >> k >> run.cpuNs;
            run.ok = !words.fail() && run.maxRssKiB > 0;
        } else if (line.rfind("sample: ", 0) == 0) {
            run.samples.push_back(line.substr(std::strlen("sample: ")));
        }
    }
    if (!run.ok) run.error = argv[0] + " printed no figures";
    return run;
}

std::uint64_t HashFile(const fs::path& path, std::uint64_t& lines, std::string& last) {
    std::ifstream in(path, std::ios::binary);
    std::uint64_t hash = 0xcbf29ce484222325ULL;
    for (std::string line; std::getline(in, line);) {
        for (unsigned char c : line) hash = (hash ^ c) * 0x100000001b3ULL;
        if (line.find(" -> ") != std::string::npos) ++lines;
        last = line;
    }
    return hash;
}

// Runs a program with its output in a file; wall and CPU time of the whole
// process. A failure exit is kept (the command exits 1 when it marks a file).
TRun SpawnTimed(const std::vector<std::string>& argv, const fs::path& out) {
    TRun run;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    std::vector<char*> args;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    pid_t pid = 0;
    const auto start = std::chrono::steady_clock::now();
    const int spawned = posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) {
        run.error = "cannot start " + argv[0] + ": " + std::strerror(spawned);
        return run;
    }
    int status = 0;
    struct rusage usage {};
    while (wait4(pid, &status, 0, &usage) < 0 && errno == EINTR) {
    }
    const auto stop = std::chrono::steady_clock::now();
    if (!WIFEXITED(status) || WEXITSTATUS(status) > 1) {
        run.error = argv[0] + " failed (status " + std::to_string(status) + ")";
        return run;
    }
    constexpr long long kNsPerSecond = 1000000000, kNsPerMicro = 1000;
    run.ns = std::chrono::duration_cast<std::chrono::nanoseconds>(stop - start).count();
    run.cpuNs = (static_cast<long long>(usage.ru_utime.tv_sec) + usage.ru_stime.tv_sec) * kNsPerSecond +
                (static_cast<long long>(usage.ru_utime.tv_usec) + usage.ru_stime.tv_usec) * kNsPerMicro;
    std::string last;
    run.hash = std::to_string(HashFile(out, run.hits, last));
    run.samples.push_back(last);
    run.ok = true;
    return run;
}

std::vector<std::string> ContenderArgs(const TOptions& o, const TContender& c, const fs::path& list) {
    std::vector<std::string> argv{(o.bin / c.program).string(), list.string()};
    argv.insert(argv.end(), c.extra.begin(), c.extra.end());
    return argv;
}

bool WriteList(const fs::path& path, const std::vector<std::string>& files) {
    std::ofstream out(path);
    for (const std::string& f : files) out << f << '\n';
    return static_cast<bool>(out);
}

std::vector<std::string> ListMp3(const fs::path& dir) {
    std::vector<std::string> files;
    std::error_code error;
    for (auto it = fs::recursive_directory_iterator(dir, error); !error && it != fs::recursive_directory_iterator();
         it.increment(error)) {
        if (it->is_regular_file(error) && it->path().extension() == ".mp3") files.push_back(it->path().string());
    }
    std::sort(files.begin(), files.end());
    return files;
}

// Reads every byte once so that every contender finds the same warm cache.
std::uint64_t WarmCache(const std::vector<std::string>& files) {
    std::vector<char> buffer(1 << 20);
    std::uint64_t total = 0;
    for (const std::string& f : files) {
        const int fd = open(f.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0) continue;
        for (ssize_t n; (n = read(fd, buffer.data(), buffer.size())) > 0;) total += static_cast<std::uint64_t>(n);
        close(fd);
    }
    return total;
}

template <typename T>
T Median(std::vector<T> values) {
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    return n % 2 == 1 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

double MedianNs(const TContender& c) {
    std::vector<double> ns;
    for (const TRun& r : c.runs) ns.push_back(static_cast<double>(r.ns));
    return Median(ns);
}
// The median over the rounds of a's time over b's in the same round: a slow
// stretch of the machine then slows both sides of a ratio, not one of them.
double RoundRatio(const TContender& a, const TContender& b, bool cpu) {
    std::vector<double> ratios;
    for (std::size_t r = 0; r < std::min(a.runs.size(), b.runs.size()); ++r) {
        ratios.push_back(cpu ? static_cast<double>(a.runs[r].cpuNs) / static_cast<double>(b.runs[r].cpuNs)
                             : static_cast<double>(a.runs[r].ns) / static_cast<double>(b.runs[r].ns));
    }
    return Median(ratios);
}

double MedianCpuNs(const TContender& c) {
    std::vector<double> ns;
    for (const TRun& r : c.runs) ns.push_back(static_cast<double>(r.cpuNs));
    return Median(ns);
}
long PeakKiB(const TContender& c) {
    long peak = 0;
    for (const TRun& r : c.runs) peak = std::max(peak, r.maxRssKiB);
    return peak;
}

std::string Fixed(double value, int digits) {
    char text[64];
    std::snprintf(text, sizeof text, "%.*f", digits, value);
    return text;
}
std::string MiB(long kib) { return Fixed(static_cast<double>(kib) / kKiBPerMiB, 1) + " MB"; }
std::string Verdict(bool met) { return met ? "met" : "**missed**"; }

std::string ReadFirstLine(const fs::path& path) {
    std::ifstream in(path);
    std::string line;
    std::getline(in, line);
    return line;
}

// Instructions of a whole contender run under callgrind.
std::optional<std::uint64_t> CountInstructions(const TOptions& o, const TContender& c, const fs::path& list,
                                               const fs::path& out) {
    std::vector<std::string> argv{"valgrind", "-q", "--tool=callgrind", "--callgrind-out-file=" + out.string()};
    const std::vector<std::string> contender = ContenderArgs(o, c, list);
    argv.insert(argv.end(), contender.begin(), contender.end());
    if (!Spawn(argv).ok) return std::nullopt;
    std::ifstream in(out);
    for (std::string line; std::getline(in, line);) {
        if (line.rfind("summary: ", 0) == 0 || line.rfind("totals: ", 0) == 0) {
            return std::strtoull(line.c_str() + line.find(' ') + 1, nullptr, 10);
        }
    }
    return std::nullopt;
}

// "id3v2::(anonymous namespace)::WalkFrames(TByteSource&, ...)" becomes
// "id3v2::WalkFrames".
std::string ShortName(std::string name) {
    for (const std::string noise : {"(anonymous namespace)::", "[abi:cxx11]"}) {
        for (std::size_t at; (at = name.find(noise)) != std::string::npos;) name.erase(at, noise.size());
    }
    const std::size_t paren = name.find('(');
    if (paren != std::string::npos && paren > 0) name.erase(paren);
    return name;
}

// The heaviest functions of the plug-in (and the C library's block copies and
// fills) by inclusive instructions, from a callgrind output file.
void PrintHeaviestFunctions(const fs::path& callgrindOut, std::size_t files, std::size_t shown) {
    const std::string command = "callgrind_annotate --inclusive=yes '" + callgrindOut.string() + "' 2>/dev/null";
    std::FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) return;
    std::vector<std::pair<std::string, double>> rows;
    char buffer[8192];
    while (std::fgets(buffer, sizeof buffer, pipe) != nullptr && rows.size() < shown) {
        const std::string line = buffer;
        const std::size_t percent = line.find(" (");
        const std::size_t nameAt = line.find(")  ");
        const std::size_t objectAt = line.rfind(" [");
        if (percent == std::string::npos || nameAt == std::string::npos || objectAt == std::string::npos ||
            objectAt < nameAt) {
            continue;
        }
        std::string count = line.substr(0, percent);
        count.erase(std::remove_if(count.begin(), count.end(), [](char c) { return c == ',' || c == ' '; }),
                    count.end());
        if (count.empty() || count.find_first_not_of("0123456789") != std::string::npos) continue;
        std::string where = line.substr(nameAt + 3, objectAt - nameAt - 3);
        const std::string object = line.substr(objectAt);
        where = where.substr(where.find(':') + 1);  // drop the source file
        const bool engine = object.find("libpelmora") != std::string::npos;
        const bool blockCopy = where.find("memcpy") != std::string::npos || where.find("memset") != std::string::npos ||
                               where.find("memmove") != std::string::npos;
        if (!engine && !blockCopy) continue;
        if (where == "process" || where.rfind("0x", 0) == 0) continue;
        rows.emplace_back((engine ? "" : "C library: ") + ShortName(where),
                          std::strtod(count.c_str(), nullptr) / static_cast<double>(files));
    }
    pclose(pipe);
    if (rows.empty()) return;
    std::printf("\nWhere Pelmora's instructions go (inclusive, per file):\n\n| function | instructions per file |\n"
                "|---|---:|\n");
    for (const auto& [name, perFile] : rows) std::printf("| `%s` | %s |\n", name.c_str(), Fixed(perFile, 0).c_str());
}

// One round of a contender: its own figures from its output, or for the
// command the whole process, with a run over an empty folder just before it
// kept in starts.
bool RunHook(const std::string& command) {
    if (command.empty()) return true;
    std::fflush(stdout);
    const int status = std::system(command.c_str());
    if (status == 0) return true;
    std::fprintf(stderr, "'%s' failed (status %d)\n", command.c_str(), status);
    return false;
}

// The run itself, between the hooks.
TRun RunBetweenHooks(const TOptions& o, TContender& c, const fs::path& list, const fs::path& folder) {
    if (!c.walksFolders) return Spawn(ContenderArgs(o, c, list));
    const fs::path emptyFolder = o.work / "empty-folder";
    fs::create_directories(emptyFolder);
    std::vector<std::string> argv{(o.bin / c.program).string()};
    argv.insert(argv.end(), c.extra.begin(), c.extra.end());
    argv.push_back(emptyFolder.string());
    // After a hook that may have dropped the caches, the program and its
    // libraries are loaded again first, so that the start taken is a start
    // and only the library is cold.
    if (!o.each.empty() && !SpawnTimed(argv, o.work / "command.empty.out").ok) return {};
    const TRun none = SpawnTimed(argv, o.work / "command.empty.out");
    if (!none.ok) return none;
    c.starts.push_back(none);
    argv.back() = folder.string();
    return SpawnTimed(argv, o.work / "command.out");
}

TRun RunOnce(const TOptions& o, TContender& c, const fs::path& list, const fs::path& folder) {
    TRun failed;
    failed.error = "a hook failed";
    if (!RunHook(o.each)) return failed;
    TRun run = RunBetweenHooks(o, c, list, folder);
    if (!RunHook(o.after)) return failed;
    return run;
}

// The command's rounds less its median start.
void SubtractStart(TContender& c) {
    std::vector<long long> ns, cpuNs;
    for (const TRun& s : c.starts) {
        ns.push_back(s.ns);
        cpuNs.push_back(s.cpuNs);
    }
    if (ns.empty()) return;
    const long long start = Median(ns), cpuStart = Median(cpuNs);
    for (TRun& r : c.runs) {
        r.ns -= start;
        r.cpuNs -= cpuStart;
    }
}

bool ParseArgs(int argc, char** argv, TOptions& o) {
    o.bin = fs::absolute(argv[0]).parent_path();
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (i + 1 >= argc) return false;
        const std::string v = argv[++i];
        if (a == "--library") o.library = v;
        else if (a == "--hostile") o.hostile = v;
        else if (a == "--title") o.title = v;
        else if (a == "--repeats") o.repeats = std::max(1, std::atoi(v.c_str()));
        else if (a == "--pattern") o.pattern = v;
        else if (a == "--plugin") o.plugin = v;
        else if (a == "--bin") o.bin = v;
        else if (a == "--work") o.work = v;
        else if (a == "--callgrind") o.callgrindFiles = std::strtoull(v.c_str(), nullptr, 10);
        else if (a == "--each") o.each = v;
        else if (a == "--after") o.after = v;
        else if (a == "--list-from") o.listFrom = v;
        else if (a == "--mode" && v == "warm") o.mode = TMode::Warm;
        else if (a == "--mode" && v == "cold") o.mode = TMode::Cold;
        else if (a == "--mode" && v == "share") o.mode = TMode::Share;
        else return false;
    }
    if (o.plugin.empty()) o.plugin = o.bin / "libpelmora.so";
    return !o.library.empty();
}

}  // namespace

int main(int argc, char** argv) {
    TOptions o;
    if (!ParseArgs(argc, argv, o)) {
        std::fprintf(stderr,
                     "usage: bench_runner --library DIR [--title TEXT] [--hostile FILE] [--repeats N] [--pattern TEXT]\n"
                     "                    [--plugin PATH] [--bin DIR] [--work DIR] [--callgrind N]\n"
                     "                    [--mode warm|cold|share] [--each COMMAND] [--after COMMAND] [--list-from DIR]\n");
        return 2;
    }
    std::vector<std::string> files = ListMp3(o.listFrom.empty() ? o.library : o.listFrom);
    if (files.empty()) {
        std::fprintf(stderr, "no .mp3 files under %s\n", (o.listFrom.empty() ? o.library : o.listFrom).c_str());
        return 1;
    }
    if (!o.listFrom.empty()) {
        for (std::string& f : files) f = (o.library / fs::path(f).lexically_relative(o.listFrom)).string();
    }
    fs::create_directories(o.work);
    const fs::path libraryList = o.work / "library.list";
    const fs::path emptyList = o.work / "empty.list";
    WriteList(libraryList, files);
    WriteList(emptyList, {});

    const std::string threads = std::to_string(kFloorThreads);
    std::vector<TContender> contenders;
    contenders.push_back(Contender("system-call floor", "bench_floor"));
    contenders.push_back(Contender("system-call floor from " + threads + " threads", "bench_floor", {"--threads", threads}));
    if (fs::exists(o.bin / "bench_taglib")) contenders.push_back(Contender("TagLib (Fast)", "bench_taglib"));
    contenders.push_back(Contender("Pelmora `process` (preview)", "bench_pelmora", {o.plugin.string(), o.pattern, "0"}));
    const std::size_t floorIndex = 0, threadedFloorIndex = 1;
    const std::size_t pelmoraIndex = contenders.size() - 1;
    const std::optional<std::size_t> taglibIndex =
        contenders.size() == 4 ? std::optional<std::size_t>(2) : std::nullopt;
    std::optional<std::size_t> commandIndex, unreadIndex;
    if (fs::exists(o.bin / "pelmora")) {
        const std::vector<std::string> preview = {"-n", "-r", "--plugin", o.plugin.string(), "-p", o.pattern};
        commandIndex = contenders.size();
        contenders.push_back(Contender("`pelmora -n -r` (the command's preview)", "pelmora", preview, true));
        std::vector<std::string> without = preview;
        without.insert(without.begin(), "--no-read-ahead");
        unreadIndex = contenders.size();
        contenders.push_back(Contender("`pelmora -n -r --no-read-ahead`", "pelmora", without, true));
    }

    std::uint64_t bytes = 0;
    for (const std::string& f : files) {
        std::error_code error;
        bytes += static_cast<std::uint64_t>(fs::file_size(o.listFrom.empty() ? fs::path(f) :
                                                          o.listFrom / fs::path(f).lexically_relative(o.library), error));
    }
    if (o.mode == TMode::Warm) {
        std::fprintf(stderr, "warming the page cache over %zu files...\n", files.size());
        WarmCache(files);
    }
    const std::string loadBefore = ReadFirstLine("/proc/loadavg");

    bool failed = false;
    for (TContender& c : contenders) {
        c.empty = RunOnce(o, c, emptyList, o.work / "empty-folder");
        // Warm, one unmeasured run; cold or on a share every run is alike.
        const TRun warm = o.mode == TMode::Warm ? RunOnce(o, c, libraryList, o.library) : c.empty;
        if (!c.empty.ok || !warm.ok) {
            std::fprintf(stderr, "%s\n", (c.empty.ok ? warm : c.empty).error.c_str());
            failed = true;
        }
    }
    if (failed) return 1;
    for (TContender& c : contenders) c.starts.clear();
    for (int r = 0; r < o.repeats; ++r) {
        std::fprintf(stderr, "round %d of %d\n", r + 1, o.repeats);
        // A different order each round, so no contender always follows the same one.
        for (std::size_t k = 0; k < contenders.size(); ++k) {
            TContender& c = contenders[(k + static_cast<std::size_t>(r)) % contenders.size()];
            TRun run = RunOnce(o, c, libraryList, o.library);
            if (!run.ok) {
                std::fprintf(stderr, "%s\n", run.error.c_str());
                return 1;
            }
            c.runs.push_back(run);
        }
    }
    const std::string loadAfter = ReadFirstLine("/proc/loadavg");
    for (TContender& c : contenders) SubtractStart(c);

    const double n = static_cast<double>(files.size());
    std::printf("## %s\n\n%zu files, %.1f MB in all, under `%s`; ", o.title.c_str(), files.size(),
                static_cast<double>(bytes) / (kKiBPerMiB * kKiBPerMiB), o.library.c_str());
    switch (o.mode) {
    case TMode::Warm:
        std::printf("page cache warmed by reading every file once, then one unmeasured run of each contender.\n");
        break;
    case TMode::Cold:
    case TMode::Share:
        std::printf("before every run of every contender (the command's empty runs too): `%s`%s%s%s.\n",
                    o.each.c_str(), o.after.empty() ? "" : "; after it: `", o.after.c_str(), o.after.empty() ? "" : "`");
        break;
    }
    std::printf("Pattern for Pelmora: `%s`, tag source ID3v2, preview.\n\n", o.pattern.c_str());
    std::printf("The command is timed as a whole process, less its start (the median of a run over an empty folder "
                "made in every round), so its start does not count; its listing of folders, checks of targets and printing (into a file) do.%s\n\n",
                o.each.empty() ? "" : " After the command before the run, the program is started once on the empty folder unmeasured, so that "
                "its start is timed with the program loaded and only the library is cold.");
    std::printf("### Side by side (%d rounds, median)\n\n", o.repeats);
    std::printf("| contender | µs per file | fastest–slowest round, µs | files per second | CPU µs per file | "
                "peak memory | peak memory with no files | files with a result |\n");
    std::printf("|---|---:|---:|---:|---:|---:|---:|---:|\n");
    for (const TContender& c : contenders) {
        const double ns = MedianNs(c);
        double lo = 1e300, hi = 0;
        for (const TRun& r : c.runs) {
            lo = std::min(lo, static_cast<double>(r.ns));
            hi = std::max(hi, static_cast<double>(r.ns));
        }
        std::printf("| %s | %s | %s–%s | %s | %s | %s | %s | %llu |\n", c.name.c_str(),
                    Fixed(ns / n / kNsPerUs, 2).c_str(), Fixed(lo / n / kNsPerUs, 2).c_str(),
                    Fixed(hi / n / kNsPerUs, 2).c_str(), Fixed(n / (ns / kNsPerS), 0).c_str(),
                    Fixed(MedianCpuNs(c) / n / kNsPerUs, 2).c_str(), c.walksFolders ? "" : MiB(PeakKiB(c)).c_str(),
                    c.walksFolders ? "" : MiB(c.empty.maxRssKiB).c_str(),
                    static_cast<unsigned long long>(c.runs.front().hits));
    }
    std::printf("\nSystem load (1, 5, 15 min) before and after: %s / %s\n\n", loadBefore.c_str(), loadAfter.c_str());

    std::printf("What each made of the first files:\n\n");
    for (std::size_t i = 0; i < std::min(files.size(), contenders.front().runs.front().samples.size()); ++i) {
        std::printf("- `%s`\n", files[i].c_str());
        for (const TContender& c : contenders) {
            if (c.walksFolders) continue;
            const std::vector<std::string>& samples = c.runs.front().samples;
            std::printf("  - %s: `%s`\n", c.name.c_str(), i < samples.size() ? samples[i].c_str() : "");
        }
    }
    if (commandIndex && !contenders[*commandIndex].runs.front().samples.empty()) {
        std::printf("\nThe command's summary line: `%s`\n", contenders[*commandIndex].runs.front().samples.front().c_str());
    }
    for (const TContender& c : contenders) {
        for (const TRun& r : c.runs) {
            if (r.hash != c.runs.front().hash) {
                std::printf("\n%s gave different results in different rounds!\n", c.name.c_str());
                break;
            }
        }
    }

    const TContender& pelmora = contenders[pelmoraIndex];
    const TContender& floor = contenders[floorIndex];
    const TContender& threadedFloor = contenders[threadedFloorIndex];
    const double peakMiB = static_cast<double>(PeakKiB(pelmora)) / kKiBPerMiB;
    std::printf("\n### Goals\n\nJudged on wall time, as the median over the rounds of each round's ratio (both sides "
                "timed minutes apart at most); the ratio of the medians above and the same ratio in CPU time are "
                "shown beside it.\n\n");
    std::printf("| goal | measured | ratio of the medians | in CPU time | verdict |\n|---|---:|---:|---:|---|\n");
    // slower over faster, so that every goal reads "at most" except the speed-ups.
    const auto ratioRow = [](const char* goal, const TContender& slower, const TContender& faster, double limit,
                             bool atLeast) {
        const double measured = RoundRatio(slower, faster, false);
        const double medians = MedianNs(slower) / MedianNs(faster);
        const double cpu = RoundRatio(slower, faster, true);
        std::printf("| %s | %s× | %s× | %s× | %s |\n", goal, Fixed(measured, 2).c_str(), Fixed(medians, 2).c_str(),
                    Fixed(cpu, 2).c_str(), Verdict(atLeast ? measured >= limit : measured <= limit).c_str());
    };
    char goal[160];
    if (o.mode == TMode::Warm) {
        if (taglibIndex) {
            std::snprintf(goal, sizeof goal, "throughput at least %.0f× TagLib's", kLeastSpeedupOverTagLib);
            ratioRow(goal, contenders[*taglibIndex], pelmora, kLeastSpeedupOverTagLib, true);
        }
        std::snprintf(goal, sizeof goal, "time within %.0f× the floor's", kMostSlowdownOverFloor);
        ratioRow(goal, pelmora, floor, kMostSlowdownOverFloor, false);
        std::printf("| peak memory under %.0f MB | %s MB | | | %s |\n", kMostPeakMiB, Fixed(peakMiB, 1).c_str(),
                    Verdict(peakMiB < kMostPeakMiB).c_str());
    }
    if (commandIndex) {
        const TContender& command = contenders[*commandIndex];
        const TContender& unread = contenders[*unreadIndex];
        if (o.mode == TMode::Warm) {
            std::snprintf(goal, sizeof goal, "the command's preview within %.1f× the plug-in alone", kMostCommandOverPlugin);
            ratioRow(goal, command, pelmora, kMostCommandOverPlugin, false);
            std::snprintf(goal, sizeof goal, "the command's preview within %.1f× the floor", kMostCommandOverFloor);
            ratioRow(goal, command, floor, kMostCommandOverFloor, false);
            std::snprintf(goal, sizeof goal, "with read-ahead within %.2f× the time without", kMostReadAheadOverNone);
            ratioRow(goal, command, unread, kMostReadAheadOverNone, false);
        } else {
            const bool cold = o.mode == TMode::Cold;
            const double mostOverFloor = cold ? kMostColdCommandOverThreadedFloor : kMostShareCommandOverThreadedFloor;
            const double leastOverTagLib = cold ? kLeastColdSpeedupOverTagLib : kLeastShareSpeedupOverTagLib;
            std::snprintf(goal, sizeof goal, "the command's preview within %.2f× the floor from %u threads", mostOverFloor,
                          kFloorThreads);
            ratioRow(goal, command, threadedFloor, mostOverFloor, false);
            if (taglibIndex) {
                std::snprintf(goal, sizeof goal, "the command's preview at least %.1f× as fast as TagLib", leastOverTagLib);
                ratioRow(goal, contenders[*taglibIndex], command, leastOverTagLib, true);
            }
            ratioRow("faster with read-ahead than without", unread, command, 1.0, true);
        }
    }

    if (!o.hostile.empty()) {
        const fs::path hostileList = o.work / "hostile.list";
        WriteList(hostileList, {fs::absolute(o.hostile).string()});
        WarmCache({o.hostile.string()});
        TContender& p = contenders[pelmoraIndex];
        std::vector<double> seconds;
        std::vector<double> cpuSeconds;
        long peak = 0;
        TRun last;
        for (int r = 0; r < kHostileRepeats; ++r) {
            last = Spawn(ContenderArgs(o, p, hostileList));
            if (!last.ok) {
                std::fprintf(stderr, "%s\n", last.error.c_str());
                return 1;
            }
            seconds.push_back(static_cast<double>(last.ns) / kNsPerS);
            cpuSeconds.push_back(static_cast<double>(last.cpuNs) / kNsPerS);
            peak = std::max(peak, last.maxRssKiB);
        }
        std::error_code error;
        const auto size = fs::file_size(o.hostile, error);
        const double s = Median(seconds);
        const double mib = static_cast<double>(peak) / kKiBPerMiB;
        std::printf("\n### Bounded work: one hostile file\n\n");
        std::printf("`%s`, %.0f MB, an ID3v2.3 tag of millions of empty and one-byte frames (known and unknown ids) "
                    "with the real ones last, then 200 KB of audio. `process` in preview, %d runs, median.\n\n",
                    o.hostile.c_str(), static_cast<double>(size) / (kKiBPerMiB * kKiBPerMiB), kHostileRepeats);
        std::printf("| goal | measured | in CPU time | verdict |\n|---|---:|---:|---|\n");
        std::printf("| under %.0f s | %s s | %s s | %s |\n", kMostHostileSeconds, Fixed(s, 3).c_str(),
                    Fixed(Median(cpuSeconds), 3).c_str(), Verdict(s < kMostHostileSeconds).c_str());
        std::printf("| peak memory under %.0f MB | %s MB | | %s |\n", kMostPeakMiB, Fixed(mib, 1).c_str(),
                    Verdict(mib < kMostPeakMiB).c_str());
        std::printf("\nName given: `%s`\n", last.samples.empty() ? "" : last.samples.front().c_str());
    }

    if (o.callgrindFiles > 0) {
        const std::size_t count = std::min(o.callgrindFiles, files.size());
        const fs::path subsetList = o.work / "callgrind.list";
        WriteList(subsetList, std::vector<std::string>(files.begin(), files.begin() + static_cast<std::ptrdiff_t>(count)));
        std::printf("\n### Instructions per file (callgrind, first %zu files, less a run over no files)\n\n", count);
        std::printf("| contender | instructions per file |\n|---|---:|\n");
        for (const TContender& c : contenders) {
            if (c.walksFolders) continue;
            std::fprintf(stderr, "callgrind: %s\n", c.name.c_str());
            const auto all = CountInstructions(o, c, subsetList, o.work / ("callgrind." + c.program + ".out"));
            const auto none = CountInstructions(o, c, emptyList, o.work / ("callgrind." + c.program + ".empty.out"));
            if (!all || !none) {
                std::printf("| %s | (valgrind unavailable) |\n", c.name.c_str());
                continue;
            }
            const double perFile = (static_cast<double>(*all) - static_cast<double>(*none)) / static_cast<double>(count);
            std::printf("| %s | %s |\n", c.name.c_str(), Fixed(perFile, 0).c_str());
        }
        constexpr std::size_t kHeaviestShown = 16;
        PrintHeaviestFunctions(o.work / ("callgrind." + contenders[pelmoraIndex].program + ".out"), count,
                               kHeaviestShown);
    }
    return 0;
}
