#include "client/ApiKeyFile.h"

#include <sys/stat.h>

#include "syskit/SmallFiles.h"

namespace managehnas {

// Read through the one small-file reader: no link followed (one planted
// under the name would hand over another file), no blocking (a FIFO would
// hang every job), only a regular file of bounded size.
bool readApiKeyFile(const std::string& path, std::string& key, bool& othersMayRead, std::string& cause) {
    const std::string named = "the API key file [" + path + "]";
    std::string text;
    mode_t mode = 0;
    if (!syskit::readSmallRegularFile(path, named, kMaxApiKeyBytes, text, cause, &mode)) return false;
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
    othersMayRead = (mode & (S_IRGRP | S_IROTH)) != 0;
    key = trimmed;
    return true;
}

}  // namespace managehnas
