// What the Windows units of the command's system verbs share: UTF-8 in,
// UTF-16 to the system, and the system's error codes in words.
#pragma once

#include <string>

namespace host {

std::wstring Wide(const std::string& text);
std::string Narrow(const std::wstring& text);
// A GetLastError code (a DWORD) as the reason the command reports.
std::string ErrorText(unsigned long code);
// An existing entry opened for access alone (a folder too), shared every way;
// INVALID_HANDLE_VALUE when it cannot be.
void* OpenEntry(const std::wstring& path, unsigned long access);
// An existing file opened to read, shared for reading and writing; INVALID_HANDLE_VALUE when it cannot be.
void* OpenToRead(const std::string& path);

// A text the system copies out once asked its size (fill(nullptr, 0));
// empty when it cannot.
template <typename Fill>
std::wstring Filled(Fill fill) {
    const unsigned long n = fill(nullptr, 0);
    if (n == 0) return {};
    std::wstring text(n, L'\0');
    const unsigned long got = fill(text.data(), n);
    if (got == 0 || got >= n) return {};
    text.resize(got);
    return text;
}

}  // namespace host
