#include "arraysim/server/UrlText.h"

namespace arraysim {
namespace {

int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

}  // namespace

std::string percentDecoded(std::string_view text, bool plusIsSpace) {
    std::string decoded;
    decoded.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '%' && i + 2 < text.size() && hexValue(text[i + 1]) >= 0 && hexValue(text[i + 2]) >= 0) {
            decoded += static_cast<char>(hexValue(text[i + 1]) * 16 + hexValue(text[i + 2]));
            i += 2;
        } else {
            decoded += plusIsSpace && c == '+' ? ' ' : c;
        }
    }
    return decoded;
}

QueryParams parseQuery(std::string_view query) {
    QueryParams params;
    while (!query.empty()) {
        const size_t amp = query.find('&');
        const std::string_view piece = query.substr(0, amp);
        query = amp == std::string_view::npos ? std::string_view() : query.substr(amp + 1);
        const size_t equals = piece.find('=');
        const std::string name = percentDecoded(piece.substr(0, equals), true);
        if (name.empty()) continue;
        params.emplace(name, equals == std::string_view::npos ? std::string()
                                                              : percentDecoded(piece.substr(equals + 1), true));
    }
    return params;
}

}  // namespace arraysim
