// What the Windows units of the command's system verbs share: UTF-8 in,
// UTF-16 to the system, and the system's error codes in words.
#pragma once

#include <string>

namespace host {

std::wstring Wide(const std::string& text);
std::string Narrow(const std::wstring& text);
// A GetLastError code (a DWORD) as the reason the command reports.
std::string ErrorText(unsigned long code);

}  // namespace host
