// What the POSIX units of the command's system verbs share.
#pragma once

#include <cstddef>
#include <cstring>
#include <string>

namespace host {

constexpr std::size_t kPathBufferSize = 4096;  // PATH_MAX on Linux

inline std::string ErrorText(int code) { return std::strerror(code); }

}  // namespace host
