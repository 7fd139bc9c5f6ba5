#include "arraysim/server/HttpExchange.h"

namespace arraysim {

std::string Request::header(const std::string& name) const {
    const auto found = message.find(name);
    return found == message.end() ? std::string() : std::string(found->value());
}

std::string Request::param(const std::string& name) const {
    const auto found = params.find(name);
    return found == params.end() ? std::string() : found->second;
}

}  // namespace arraysim
