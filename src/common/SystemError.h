#pragma once
// The operating system's errors as std::error_code: message() gives the
// system's own text for them, and they compare equal to std::errc values.
#include <cerrno>
#include <system_error>

inline std::error_code SystemError(int code) noexcept { return std::error_code(code, std::generic_category()); }

// The error errno holds: taken right after the failing call, before anything
// else can change it.
inline std::error_code LastError() noexcept { return SystemError(errno); }
