#pragma once

#include <cstdarg>
#include <string>

namespace kesto {

// printf-style formatting that always uses the C locale, whatever locale the
// process runs in: "%f" must give a point, never a comma, in files and forms.
std::string cformat(const char* format, ...) __attribute__((format(printf, 1, 2)));
std::string vcformat(const char* format, va_list args) __attribute__((format(printf, 1, 0)));

}  // namespace kesto
