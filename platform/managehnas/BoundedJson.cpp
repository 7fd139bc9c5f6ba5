#include "platform/managehnas/BoundedJson.h"

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

// What a list holds so far.
enum class ListKind { Empty, Objects, Texts };

// The parser's event handler (nlohmann's SAX interface): builds the tree
// within the rules of BoundedJson.h; returning false stops the parse.
class BoundedBuilder {
public:
    BoundedBuilder(Json& root, std::size_t budget) : root_(root), budget_(budget) {}

    bool null() { return scalar(Json(nullptr)); }
    bool boolean(bool value) { return scalar(Json(value)); }
    bool number_integer(Json::number_integer_t value) { return scalar(Json(value)); }
    bool number_unsigned(Json::number_unsigned_t value) { return scalar(Json(value)); }
    bool number_float(Json::number_float_t value, const std::string&) { return scalar(Json(value)); }
    bool binary(Json::binary_t&) { return refuse("the answer holds binary data"); }

    bool string(std::string& value) {
        if (!spend(kTextCost + textCost(value))) return false;
        Json* added = place(Json(std::move(value)), ListKind::Texts);
        return added != nullptr;
    }

    bool start_object(std::size_t) {
        if (!enter() || !spend(kObjectCost)) return false;
        Json* added = place(Json::object(), ListKind::Objects);
        if (added == nullptr) return false;
        open_.push_back(Open{added, ListKind::Empty});
        return true;
    }

    bool key(std::string& name) {
        if (!spend(kMemberCost + textCost(name))) return false;
        member_ = &(*open_.back().container)[name];
        return true;
    }

    bool end_object() {
        open_.pop_back();
        return true;
    }

    bool start_array(std::size_t) {
        if (!enter() || !spend(kListCost)) return false;
        // A list is never an entry of a list, nor the answer itself.
        Json* added = place(Json::array(), ListKind::Empty);
        if (added == nullptr) return false;
        open_.push_back(Open{added, ListKind::Empty});
        return true;
    }

    bool end_array() {
        open_.pop_back();
        return true;
    }

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
        if (open_.size() >= kMaxAnswerDepth)
            return refuse("the answer nests deeper than " + std::to_string(kMaxAnswerDepth) + " levels");
        return true;
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
    bool empty_ = false;
    std::string cause_;
};

}  // namespace

bool parseBounded(const std::string& text, Json& object, std::string& cause) {
    Json parsed;
    BoundedBuilder builder(parsed, kAnswerBudgetFactor * text.size() + kAnswerBudgetFloor);
    builder.setEmpty(text.find_first_not_of(" \t\r\n") == std::string::npos);
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
