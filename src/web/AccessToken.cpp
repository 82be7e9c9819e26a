#include "web/AccessToken.h"

#include <sys/random.h>
#include <sys/stat.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <fstream>

namespace kesto {

Result<std::string> AccessToken::generate() {
    std::array<unsigned char, kRandomBytes> bytes{};
    std::size_t got = 0;
    while (got < bytes.size()) {
        const ssize_t n = getrandom(bytes.data() + got, bytes.size() - got, 0);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            return fail(std::string("no random token: ") + std::strerror(errno));
        }
        got += static_cast<std::size_t>(n);
    }
    static constexpr char kHex[] = "0123456789abcdef";
    std::string token;
    for (const unsigned char b : bytes) {
        token += kHex[b >> 4];
        token += kHex[b & 0x0f];
    }
    return token;
}

Result<std::string> AccessToken::readFile(const std::filesystem::path& file) {
    std::ifstream in(file);
    std::string line;
    if (!in || !std::getline(in, line)) {
        return fail("cannot read the token file " + file.string());
    }
    struct stat status {};
    if (stat(file.c_str(), &status) == 0 && (status.st_mode & (S_IRGRP | S_IROTH)) != 0) {
        return fail("the token file " + file.string() +
                    " can be read by other users: make it private with 'chmod 600 " +
                    file.string() + "'");
    }
    const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r'; };
    while (!line.empty() && blank(line.back())) {
        line.pop_back();
    }
    const auto first = std::find_if_not(line.begin(), line.end(), blank);
    line.erase(line.begin(), first);
    const bool safe = std::all_of(line.begin(), line.end(), [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
               c == '.' || c == '_' || c == '~' || c == '-';
    });
    if (line.size() < kMinimumLength || !safe) {
        return fail("the token file " + file.string() +
                    " must hold one token of at least 16 characters from A-Z a-z 0-9 . _ ~ -");
    }
    return line;
}

}  // namespace kesto
