#define STRICT
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <algorithm>
#include <cstdlib>

#include "TestFiles.h"

namespace testing_support {

const char kSep = '\\';

namespace {

void RemoveTree(const std::string& path) {
    WIN32_FIND_DATAA found;
    HANDLE h = FindFirstFileA((path + "\\*").c_str(), &found);
    if (h != INVALID_HANDLE_VALUE) {
        do {
            const std::string name = found.cFileName;
            if (name == "." || name == "..") continue;
            const std::string child = path + "\\" + name;
            SetFileAttributesA(child.c_str(), FILE_ATTRIBUTE_NORMAL);
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                RemoveTree(child);
            } else {
                DeleteFileA(child.c_str());
            }
        } while (FindNextFileA(h, &found));
        FindClose(h);
    }
    RemoveDirectoryA(path.c_str());
}

}  // namespace

TempDir::TempDir() {
    char base[MAX_PATH];
    GetTempPathA(sizeof base, base);
    static unsigned counter = 0;
    for (int attempt = 0; attempt < 1000; ++attempt) {
        std::string candidate = std::string(base) + "pelmora-test-" + std::to_string(GetCurrentProcessId()) + "-" +
                                std::to_string(++counter);
        if (CreateDirectoryA(candidate.c_str(), nullptr)) {
            path_ = candidate;
            return;
        }
    }
}

TempDir::~TempDir() {
    if (!path_.empty()) RemoveTree(path_);
}

void WriteFile(const std::string& path, const Bytes& bytes) {
    HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return;
    DWORD written = 0;
    if (!bytes.empty()) ::WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(h);
}

bool ReadFile(const std::string& path, Bytes& bytes) {
    bytes.clear();
    HANDLE h = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    std::uint8_t buffer[65536];
    DWORD n = 0;
    while (::ReadFile(h, buffer, sizeof buffer, &n, nullptr) && n > 0) bytes.insert(bytes.end(), buffer, buffer + n);
    CloseHandle(h);
    return true;
}

bool FileExists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

bool MakeDir(const std::string& path) { return CreateDirectoryA(path.c_str(), nullptr) != 0; }

std::vector<std::string> ListDir(const std::string& path) {
    std::vector<std::string> names;
    WIN32_FIND_DATAA found;
    HANDLE h = FindFirstFileA((path + "\\*").c_str(), &found);
    if (h == INVALID_HANDLE_VALUE) return names;
    do {
        const std::string name = found.cFileName;
        if (name != "." && name != "..") names.push_back(name);
    } while (FindNextFileA(h, &found));
    FindClose(h);
    std::sort(names.begin(), names.end());
    return names;
}

std::string SourcePath(const std::string& relative) {
    std::string path = std::string("Z:") + PELMORA_SOURCE_DIR + "/" + relative;
    std::replace(path.begin(), path.end(), '/', '\\');
    return path;
}

std::string ProgramDir() {
    char buffer[MAX_PATH];
    const DWORD n = GetModuleFileNameA(nullptr, buffer, sizeof buffer);
    std::string path(buffer, n);
    return path.substr(0, path.rfind('\\'));
}

int RunCommand(const std::string& command) { return std::system(command.c_str()); }

void* OpenModule(const std::string& path) { return LoadLibraryA(path.c_str()); }

void* ModuleSymbol(void* module, const char* name) {
    return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(module), name));
}

void CloseModule(void* module) { FreeLibrary(static_cast<HMODULE>(module)); }

std::string PluginPath() { return ProgramDir() + "\\" + PELMORA_PLUGIN_FILE; }

}  // namespace testing_support
