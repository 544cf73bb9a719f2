#include "StartRequest.h"

#include <algorithm>
#include <cctype>

namespace quillfen {

namespace {

// A scheme: a letter, then letters, digits, "+", "-" or ".", then ":". Options and a display name
// such as ":0" are not addresses.
bool isAddress(const std::string& argument) {
    const auto colon = argument.find(':');
    if (colon == std::string::npos || colon == 0 || !std::isalpha(static_cast<unsigned char>(argument[0])))
        return false;
    return std::all_of(argument.begin(), argument.begin() + static_cast<std::ptrdiff_t>(colon), [](char c) {
        return std::isalnum(static_cast<unsigned char>(c)) || c == '+' || c == '-' || c == '.';
    });
}

}  // namespace

StartRequest StartRequest::of(const std::vector<std::string>& arguments) {
    StartRequest request;
    for (const auto& argument : arguments) {
        if (isAddress(argument)) request.addresses.push_back(argument);
        if (argument == kUnattended) request.unattended = true;
        for (const auto& action : kActions)
            if (argument == action.argument) request.action = std::string(action.name);
    }
    return request;
}

}  // namespace quillfen
