// The parts of a request target the routes read: the path with its percent
// escapes decoded, and the query's parameters. Written for the simulator's
// server, which reads no more of URLs than this.
#pragma once

#include <map>
#include <string>
#include <string_view>

namespace arraysim {

// A query's parameters by name; a name sent twice keeps both values, in the
// order sent. Sorted by name, as the fault table's `matching` text lists them.
using QueryParams = std::multimap<std::string, std::string>;

// `text` with each "%XX" (two hex digits, either case) replaced by its byte,
// and with `plusIsSpace` each "+" by a space, as a query spells one. An
// escape without two hex digits after "%" stays as sent.
// E.g. "a%2Fb" -> "a/b", "a+b" -> "a b" (query) or "a+b" (path), "100%" -> "100%".
std::string percentDecoded(std::string_view text, bool plusIsSpace);

// The parameters of a query (the target after "?"): pieces between "&",
// each a name and, after its first "=", a value, both decoded as a query
// spells them. An empty piece or one with an empty name is skipped; a
// piece without "=" is a name with an empty value.
// E.g. "label=fs%201&x=&label=b+c" -> {label: "fs 1", label: "b c", x: ""}.
QueryParams parseQuery(std::string_view query);

}  // namespace arraysim
