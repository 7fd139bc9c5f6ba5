#include "client/BoundedJson.h"

#include <utility>
#include <vector>

namespace managehnas {

namespace {

// Estimated heap bytes of the tree's parts (64-bit libstdc++, with the
// allocator's own overhead, as measured): a list entry (its room in the
// list, the list's old and new room while it grows, and the room the
// library's destructor takes to tear a list down without recursion), a
// member of an object (tree node, key and value), a text, an object, a list.
constexpr std::size_t kListEntryCost = 5 * sizeof(Json);
constexpr std::size_t kMemberCost = 96;
constexpr std::size_t kTextCost = 48;
constexpr std::size_t kObjectCost = 64;
constexpr std::size_t kListCost = 40;
// Texts up to this length live inside their string object.
constexpr std::size_t kInlineText = 15;

std::size_t textCost(const std::string& text) {
    return text.size() > kInlineText ? text.size() + 1 + 16 : 0;
}

// False when the text holds more than kMaxPlainRun characters in a row
// outside texts and numbers, e.g. 70000 blanks, or "[null,null,...]".
bool plainRunsWithin(const std::string& text) {
    std::size_t run = 0;
    bool inText = false;
    bool escaped = false;
    for (const char c : text) {
        if (inText) {
            if (escaped)
                escaped = false;
            else if (c == '\\')
                escaped = true;
            else if (c == '"')
                inText = false;
        } else if (c == '"' || c == '-' || (c >= '0' && c <= '9')) {
            inText = c == '"';   // a text or a number starts: the lexer starts afresh
            run = 0;
        } else if (++run > kMaxPlainRun) {
            return false;
        }
    }
    return true;
}

// What a list holds so far.
enum class ListKind { Empty, Objects, Texts };

// The parser's event handler (nlohmann's SAX interface): builds the tree
// within the rules of BoundedJson.h; returning false stops the parse.
class BoundedBuilder {
public:
    BoundedBuilder(Json& root, std::size_t budget, const AnswerShape* shape)
        : root_(root), budget_(budget), shape_(shape) {}

    bool null() { return skipped() || scalar(Json(nullptr)); }
    bool boolean(bool value) { return skipped() || (wantedScalar() && scalar(Json(value))); }
    bool number_integer(Json::number_integer_t value) {
        return skipped() || (wantedScalar() && scalar(Json(value)));
    }
    bool number_unsigned(Json::number_unsigned_t value) {
        return skipped() || (wantedScalar() && scalar(Json(value)));
    }
    bool number_float(Json::number_float_t value, const std::string&) {
        return skipped() || (wantedScalar() && scalar(Json(value)));
    }
    bool binary(Json::binary_t&) { return refuse("the answer holds binary data"); }

    bool string(std::string& value) {
        if (skipped()) return true;
        if (!wantedScalar() || !spend(kTextCost + textCost(value))) return false;
        Json* added = place(Json(std::move(value)), ListKind::Texts);
        return added != nullptr;
    }

    bool start_object(std::size_t) {
        if (!enter()) return false;
        if (skippedContainer()) return true;
        if (atWanted() && shape_->kind == AnswerKind::List) return wrongKind();
        if (!spend(kObjectCost)) return false;
        Json* added = place(Json::object(), ListKind::Objects);
        if (added == nullptr) return false;
        open_.push_back(Open{added, ListKind::Empty});
        return true;
    }

    bool key(std::string& name) {
        if (skipDepth_ > 0) return true;
        if (open_.size() == 1 && shape_ != nullptr && name != shape_->key) {
            skipNext_ = true;   // a member of the answer the call does not read
            return true;
        }
        if (!spend(kMemberCost + textCost(name))) return false;
        member_ = &(*open_.back().container)[name];
        return true;
    }

    bool end_object() { return leave(); }

    bool start_array(std::size_t) {
        if (!enter()) return false;
        if (skippedContainer()) return true;
        if (atWanted() && shape_->kind == AnswerKind::Object) return wrongKind();
        if (!spend(kListCost)) return false;
        // A list is never an entry of a list, nor the answer itself.
        Json* added = place(Json::array(), ListKind::Empty);
        if (added == nullptr) return false;
        open_.push_back(Open{added, ListKind::Empty});
        return true;
    }

    bool end_array() { return leave(); }

    bool parse_error(std::size_t position, const std::string&, const nlohmann::detail::exception&) {
        if (cause_.empty())
            cause_ = empty_ ? "empty answer where JSON was expected"
                            : "malformed JSON in the answer (at byte " + std::to_string(position) + ")";
        return false;
    }

    void setEmpty(bool empty) { empty_ = empty; }
    const std::string& cause() const { return cause_; }

private:
    struct Open {
        Json* container;
        ListKind kind;   // of a list: what its entries are so far
    };

    bool refuse(const std::string& cause) {
        if (cause_.empty()) cause_ = cause;
        return false;
    }

    bool enter() {
        if (open_.size() + skipDepth_ >= kMaxAnswerDepth)
            return refuse("the answer nests deeper than " + std::to_string(kMaxAnswerDepth) + " levels");
        return true;
    }

    bool leave() {
        if (skipDepth_ > 0)
            --skipDepth_;
        else
            open_.pop_back();
        return true;
    }

    // A scalar inside a skipped member, or a skipped member itself.
    bool skipped() {
        if (skipDepth_ > 0) return true;
        if (!skipNext_) return false;
        skipNext_ = false;
        return true;
    }

    // A container inside a skipped member, or a skipped member itself.
    bool skippedContainer() {
        if (skipDepth_ == 0 && !skipNext_) return false;
        skipNext_ = false;
        ++skipDepth_;
        return true;
    }

    // The value about to be placed is the member the call wants.
    bool atWanted() const { return shape_ != nullptr && open_.size() == 1; }

    // A number, flag or text is never what a call wants.
    bool wantedScalar() { return !atWanted() || wrongKind(); }

    bool wrongKind() {
        return refuse(std::string("field [") + shape_->key + "] of [answer] is not " +
                      (shape_->kind == AnswerKind::List     ? "a list"
                               : shape_->kind == AnswerKind::Object ? "an object"
                                                                    : "an object or a list"));
    }

    bool spend(std::size_t bytes) {
        used_ += bytes;
        if (used_ <= budget_) return true;
        return refuse("the answer would take more than " + std::to_string(budget_) + " bytes to hold");
    }

    bool scalar(Json value) { return place(std::move(value), ListKind::Empty) != nullptr; }

    // Puts a value where the parse stands: as the answer, as the value of
    // the last key, or as the next entry of a list (which must be an object
    // or a text, `kind`, of the same kind as the list's other entries).
    Json* place(Json value, ListKind kind) {
        if (open_.empty()) {
            if (!value.is_object()) {
                refuse("the answer is JSON but not an object");
                return nullptr;
            }
            root_ = std::move(value);
            return &root_;
        }
        Open& top = open_.back();
        if (top.container->is_object()) {
            *member_ = std::move(value);
            return member_;
        }
        if (kind == ListKind::Empty || (top.kind != ListKind::Empty && top.kind != kind)) {
            refuse("the answer holds a list whose entries are not all objects or all texts");
            return nullptr;
        }
        if (!spend(kListEntryCost)) return nullptr;
        top.kind = kind;
        top.container->push_back(std::move(value));
        return &top.container->back();
    }

    Json& root_;
    std::size_t budget_;
    std::size_t used_ = 0;
    std::vector<Open> open_;
    Json* member_ = nullptr;
    const AnswerShape* shape_;
    std::size_t skipDepth_ = 0;   // containers open inside a skipped member
    bool skipNext_ = false;       // the next value is a skipped member's
    bool empty_ = false;
    std::string cause_;
};

}  // namespace

bool parseBounded(const std::string& text, const AnswerShape* shape, Json& object, std::string& cause) {
    Json parsed;
    BoundedBuilder builder(parsed, kAnswerBudgetFactor * text.size() + kAnswerBudgetFloor, shape);
    builder.setEmpty(text.find_first_not_of(" \t\r\n") == std::string::npos);
    if (!plainRunsWithin(text)) {
        cause = "the answer holds more than " + std::to_string(kMaxPlainRun) +
                " brackets, commas, blanks or literals in a row";
        return false;
    }
    bool done = false;
    try {
        done = Json::sax_parse(text, &builder);
    } catch (const std::exception&) {
        done = false;
    }
    if (!done) {
        cause = builder.cause().empty() ? "malformed JSON in the answer" : builder.cause();
        return false;
    }
    object = std::move(parsed);
    return true;
}

}  // namespace managehnas
