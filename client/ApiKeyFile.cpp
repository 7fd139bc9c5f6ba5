#include "client/ApiKeyFile.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <fstream>

namespace managehnas {

bool readApiKeyFile(const std::string& path, std::string& key, bool& othersMayRead, std::string& cause) {
    const std::string named = "the API key file [" + path + "]";
    errno = 0;
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        cause = "cannot read " + named + ": " + (errno != 0 ? std::strerror(errno) : "open failed");
        return false;
    }
    std::string text;
    char buffer[1024];
    while (file.read(buffer, sizeof buffer) || file.gcount() > 0) {
        text.append(buffer, static_cast<std::size_t>(file.gcount()));
        if (text.size() > kMaxApiKeyBytes) {
            cause = named + " is larger than " + std::to_string(kMaxApiKeyBytes) + " bytes";
            return false;
        }
    }
    if (file.bad()) {
        cause = "cannot read " + named;
        return false;
    }
    const char* blank = " \t\r\n";
    const std::size_t first = text.find_first_not_of(blank);
    if (first == std::string::npos) {
        cause = named + " holds no key";
        return false;
    }
    const std::string trimmed = text.substr(first, text.find_last_not_of(blank) - first + 1);
    for (unsigned char c : trimmed) {
        if (c <= 0x20 || c == 0x7f) {
            cause = named + " holds a blank or control character inside the key";
            return false;
        }
    }
    struct stat mode {};
    othersMayRead = stat(path.c_str(), &mode) == 0 && (mode.st_mode & (S_IRGRP | S_IROTH)) != 0;
    key = trimmed;
    return true;
}

}  // namespace managehnas
