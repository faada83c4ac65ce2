// Scratch folders through std::filesystem with UTF-8 paths, so the same tests
// handle Cyrillic and other names in both builds.
#include "TestSupport.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "System.h"

namespace commandtest {

namespace fs = std::filesystem;

namespace {

fs::path Native(const std::string& utf8) { return fs::path(std::u8string(utf8.begin(), utf8.end())); }

std::string Utf8(const fs::path& path) {
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

}  // namespace

TScratch::TScratch() {
    static std::atomic<unsigned> counter {0};
    const auto tick = std::chrono::steady_clock::now().time_since_epoch().count();
    const fs::path base = fs::temp_directory_path();
    for (unsigned attempt = 0; attempt < 100 && path_.empty(); ++attempt) {
        const fs::path candidate = base / ("pelmora-host-" + std::to_string(tick) + "-" + std::to_string(++counter));
        std::error_code error;
        if (fs::create_directory(candidate, error)) path_ = Utf8(candidate);
    }
}

TScratch::~TScratch() {
    std::error_code ignored;
    if (!path_.empty()) fs::remove_all(Native(path_), ignored);
}

std::string TScratch::File(const std::string& name) const { return path_ + host::kPathDelimiter + name; }

std::string TScratch::Write(const std::string& name, const std::string& text) const {
    const std::string path = File(name);
    std::ofstream out(Native(path), std::ios::binary);
    out << text;
    return path;
}

std::string TScratch::Folder(const std::string& name) const {
    const std::string path = File(name);
    std::error_code ignored;
    fs::create_directories(Native(path), ignored);
    return path;
}

std::string Read(const std::string& path) {
    std::ifstream in(Native(path), std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

std::vector<std::string> Names(const std::string& folder) {
    std::vector<std::string> names;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(Native(folder), error)) names.push_back(Utf8(entry.path().filename()));
    std::sort(names.begin(), names.end());
    return names;
}

std::string TestPluginPath() { return host::ProgramFolder() + host::kPathDelimiter + PELMORA_TEST_PLUGIN_FILE; }

TRun Run(const std::vector<std::string>& args, const std::string& stateFolder, int outWrites,
         std::function<int()> stop, const TOutWatch& watch) {
    TRun run;
    host::THostContext context;
    context.programFolder = host::ProgramFolder();
    context.stateFolder = stateFolder;
    context.defaultPluginFile = PELMORA_TEST_PLUGIN_FILE;
    context.out = [&](const std::string& text) {
        if (outWrites == 0) return false;
        if (outWrites > 0) --outWrites;
        run.out += text;
        if (watch) watch(text);
        return true;
    };
    context.err = [&](const std::string& text) {
        run.err += text;
        return true;
    };
    context.stopSignal = std::move(stop);
    context.readAheadCached = true;
    run.status = host::RunPelmora(args, context);
    return run;
}

TRun RunWithTestPlugin(std::vector<std::string> args, const std::string& stateFolder, int outWrites,
                       std::function<int()> stop, const TOutWatch& watch) {
    args.insert(args.begin(), {"--plugin", TestPluginPath()});
    return Run(args, stateFolder, outWrites, std::move(stop), watch);
}

TTestPluginProbe::TTestPluginProbe() {
    std::string error;
    library_.Load(TestPluginPath(), error);
}

long TTestPluginProbe::OutstandingRecords() const {
#ifdef _WIN32
    using TCount = long(__stdcall*)();
#else
    using TCount = long (*)();
#endif
    const auto count = reinterpret_cast<TCount>(library_.Symbol("testOutstandingRecords"));
    return count != nullptr ? count() : -1;
}

}  // namespace commandtest
