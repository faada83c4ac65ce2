// Fuzz target: the process export in preview, with a fuzzed pattern, tag
// source, old path and file. The file is written to a private folder in
// memory-backed storage and analysed from there, through the real file layer.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "FuzzSource.h"
#include "PluginRecords.h"
#include "ProcessInput.h"

namespace {

std::string folder;
std::string filePath;

void RemoveFolder() {
    ::unlink(filePath.c_str());
    ::rmdir(folder.c_str());
}

bool WriteAll(const std::string& path, std::span<const std::uint8_t> bytes) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr) return false;
    const bool ok = bytes.empty() || std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return std::fclose(f) == 0 && ok;
}

std::vector<std::uint8_t> ReadAll(const std::string& path) {
    std::vector<std::uint8_t> bytes;
    FILE* f = std::fopen(path.c_str(), "rb");
    if (f == nullptr) return bytes;
    std::uint8_t buffer[16384];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, f)) > 0;) bytes.insert(bytes.end(), buffer, buffer + n);
    std::fclose(f);
    return bytes;
}

std::string DirectoryPart(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    struct stat st {};
    std::string base = ::stat("/dev/shm", &st) == 0 && S_ISDIR(st.st_mode) ? "/dev/shm" : "/tmp";
    std::string pattern = base + "/pelmora-fuzz-XXXXXX";
    if (::mkdtemp(pattern.data()) == nullptr) std::abort();
    folder = pattern;
    filePath = folder + "/in.mp3";
    std::atexit(RemoveFolder);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzzing::ProcessInput input = fuzzing::ParseProcessInput(std::span<const std::uint8_t>(data, size));
    if (!WriteAll(filePath, input.file)) std::abort();
    // The old path is what the host shows; in preview only its text is used.
    if (input.oldPath.empty()) input.oldPath = folder + "/Song.Mp3";
    std::string oldPath = input.oldPath.c_str();  // the host's text ends at its first NUL

    std::vector<char> pathText(oldPath.begin(), oldPath.end());
    pathText.push_back('\0');
    char* path = pathText.data();
    PluginOptions* options = &input.options;
    process(&path, filePath.c_str(), nullptr, nullptr, &options, 1);

    FUZZ_CHECK(path != nullptr);
    if (path != pathText.data()) {
        const std::string newPath = path;
        const std::string directory = DirectoryPart(oldPath);
        FUZZ_CHECK(newPath.compare(0, directory.size(), directory) == 0);
        // No value from the file may move it into another folder.
        const std::string pattern(input.options.pattern, strnlen(input.options.pattern, sizeof input.options.pattern));
        if (pattern.find('/') == std::string::npos) {
            FUZZ_CHECK(newPath.find('/', directory.size()) == std::string::npos);
        }
    }
    // Reading never changes the file.
    FUZZ_CHECK(ReadAll(filePath) == std::vector<std::uint8_t>(input.file.begin(), input.file.end()));
    return 0;
}
