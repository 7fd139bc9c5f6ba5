// One exchange of the simulator's HTTPS server, in Boost.Beast's own types:
// the request a route reads (Beast's message, read whole, with its path
// decoded, its query parsed and the groups of the route's pattern) and the
// reply it fills (Beast's response, with what becomes of the connection
// once it is answered).
#pragma once

#include <functional>
#include <regex>
#include <string>

#include <boost/beast/http/message.hpp>
#include <boost/beast/http/string_body.hpp>

#include "arraysim/server/UrlText.h"

namespace arraysim {

namespace http = boost::beast::http;

struct Request {
    http::request<http::string_body> message;   // method, target, header fields, body
    std::string path;       // the target before "?", decoded: "/v7/storage/filesystems"
    QueryParams params;     // the query, decoded: {label: "fs1"}
    std::smatch matches;    // the route pattern's groups, over `path`

    const std::string& body() const { return message.body(); }
    // The first value of the header field `name` (any case); "" when absent.
    std::string header(const std::string& name) const;
    bool hasParam(const std::string& name) const { return params.count(name) != 0; }
    // The first value of the query parameter `name`; "" when absent.
    std::string param(const std::string& name) const;
};

// What becomes of a connection once its request is answered: served on,
// closed after the answer, or dropped without one (an injected fault).
enum class AfterAnswer { KeepOpen, Close, Drop };

struct Reply {
    http::response<http::string_body> message{http::status::ok, 11};
    AfterAnswer after = AfterAnswer::KeepOpen;
    // Work on the answer that needs none of the locks its handler held (a
    // long list written out), run once the handler has let them go.
    std::function<void(Reply&)> finish;

    int status() const { return static_cast<int>(message.result_int()); }
    void setStatus(int status) { message.result(static_cast<unsigned>(status)); }
    // Notes what becomes of the connection; the graver of two wins.
    void endConnection(AfterAnswer fate) {
        if (static_cast<int>(fate) > static_cast<int>(after)) after = fate;
    }
};

}  // namespace arraysim
