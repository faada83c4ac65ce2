#include <dirent.h>
#include <dlfcn.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "TestFiles.h"
#include "platform.h"

namespace testing_support {

const char kSep = '/';

TempDir::TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "pelmora-test-XXXXXX").string();
    char* made = ::mkdtemp(pattern.data());
    path_ = made != nullptr ? std::string(made) : std::string();
}

TempDir::~TempDir() {
    std::error_code ignored;
    if (!path_.empty()) std::filesystem::remove_all(platform::AnsiToUtf8(path_), ignored);
}

void WriteFile(const std::string& path, const Bytes& bytes) {
    FILE* f = std::fopen(platform::AnsiToUtf8(path).c_str(), "wb");
    if (f == nullptr) return;
    if (!bytes.empty()) std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
}

bool ReadFile(const std::string& path, Bytes& bytes) {
    bytes.clear();
    FILE* f = std::fopen(platform::AnsiToUtf8(path).c_str(), "rb");
    if (f == nullptr) return false;
    std::uint8_t buffer[65536];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, f)) > 0;) bytes.insert(bytes.end(), buffer, buffer + n);
    std::fclose(f);
    return true;
}

bool FileExists(const std::string& path) {
    struct stat st {};
    return ::lstat(platform::AnsiToUtf8(path).c_str(), &st) == 0;
}

bool MakeDir(const std::string& path) { return ::mkdir(platform::AnsiToUtf8(path).c_str(), 0755) == 0; }

std::vector<std::string> ListDir(const std::string& path) {
    std::vector<std::string> names;
    DIR* d = ::opendir(platform::AnsiToUtf8(path).c_str());
    if (d == nullptr) return names;
    while (dirent* e = ::readdir(d)) {
        const std::string name = e->d_name;
        if (name == "." || name == "..") continue;
        std::string ansi;
        names.push_back(platform::Utf8ToAnsi(name, ansi) ? ansi : name);
    }
    ::closedir(d);
    std::sort(names.begin(), names.end());
    return names;
}

std::string SourcePath(const std::string& relative) { return std::string(PELMORA_SOURCE_DIR) + "/" + relative; }

std::string ProgramDir() {
    char buffer[4096];
    const ssize_t n = ::readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    if (n <= 0) return ".";
    std::string path(buffer, static_cast<std::size_t>(n));
    return path.substr(0, path.rfind('/'));
}

int RunCommand(const std::string& command) {
    const int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

void* OpenModule(const std::string& path) { return ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL); }

void* ModuleSymbol(void* module, const char* name) { return ::dlsym(module, name); }

void CloseModule(void* module) { ::dlclose(module); }

std::string PluginPath() { return ProgramDir() + "/" + PELMORA_PLUGIN_FILE; }

}  // namespace testing_support
