// Parsing of the array's answers within bounds. An answer may be up to
// 32 MiB, and a plain parse of a hostile one builds a tree many times that
// size (a deep nest of lists, or a long flat list of tiny values). The
// parser here builds the tree itself from the parser's events and stops at
// the first event that breaks one of these rules:
//  - the answer is an object (every answer the client reads is one);
//  - containers nest at most kMaxAnswerDepth deep;
//  - a list holds only objects or only texts (the only lists the array
//    sends: lists of records, and lists of addresses);
//  - the tree's estimated memory stays within kAnswerBudgetFactor times the
//    answer's size plus kAnswerBudgetFloor bytes.
// Before that, one pass over the text refuses a run of more than
// kMaxPlainRun characters between texts and numbers (brackets, commas,
// colons, blanks, literals): the JSON library's lexer keeps every character
// since the last text or number while it scans, so such a run would cost its
// own length again, even inside a member the call skips.
// So a call holds at most the answer and a tree within that budget. The
// tree of a real answer takes about 3.5 to 5.5 times the answer's size (a
// member of an object costs about 96 bytes, however short its text); the
// factor leaves room for that and stops the hostile shapes there. With the
// shape of what a call reads (below), members it does not read cost nothing.
#pragma once

#include <cstddef>
#include <string>

#include <nlohmann/json.hpp>

namespace managehnas {

using Json = nlohmann::json;

constexpr std::size_t kMaxAnswerDepth = 8;
constexpr std::size_t kAnswerBudgetFactor = 8;
constexpr std::size_t kAnswerBudgetFloor = 1024 * 1024;
constexpr std::size_t kMaxPlainRun = 64 * 1024;

// What a call reads from an answer: the one member it wants, and whether
// that is a list (of records) or an object (one record), e.g.
// {"snapshots", AnswerKind::List} for {"snapshots":[...],"uri":"..."};
// ObjectOrList for a member that comes in either form.
enum class AnswerKind { List, Object, ObjectOrList };
struct AnswerShape {
    const char* key;
    AnswerKind kind;
};

// False, with the cause, for text that is not JSON, not an object, or breaks
// a rule above; `object` is then left as it was. With a `shape`, the other
// members of the answer are skipped without being kept (only their nesting
// is still bounded), and a wanted member of the wrong kind is refused at its
// first character: "field [snapshots] of [answer] is not a list".
bool parseBounded(const std::string& text, const AnswerShape* shape, Json& object, std::string& cause);

}  // namespace managehnas
