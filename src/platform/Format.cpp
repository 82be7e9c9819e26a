#include "platform/Format.h"

#include <cstdio>
#include <vector>

#include "platform/CLocaleScope.h"

namespace kesto {
std::string vcformat(const char* format, va_list args) {
    CLocaleScope scope;
    char small[256];
    va_list copy;
    va_copy(copy, args);
    const int needed = std::vsnprintf(small, sizeof small, format, copy);
    va_end(copy);
    if (needed < 0) {
        return {};
    }
    if (static_cast<size_t>(needed) < sizeof small) {
        return std::string(small, static_cast<size_t>(needed));
    }
    std::vector<char> large(static_cast<size_t>(needed) + 1);
    std::vsnprintf(large.data(), large.size(), format, args);
    return std::string(large.data(), static_cast<size_t>(needed));
}

std::string cformat(const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::string text = vcformat(format, args);
    va_end(args);
    return text;
}

}  // namespace kesto
