#include "Support/UriComponents.h"

#include <algorithm>

#include "Support/Text.h"
#include "Support/UnicodeText.h"

namespace quillfen {

namespace {

bool isAlpha(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

bool isUnreserved(char c) {
    return isAlpha(c) || Text::isAsciiDigit(c) || c == '-' || c == '.' || c == '_' || c == '~';
}

bool isSubDelim(char c) {
    return std::string_view("!$&'()*+,;=").find(c) != std::string_view::npos;
}

bool isGenDelim(char c) {
    return std::string_view(":/?#[]@").find(c) != std::string_view::npos;
}

// Every character is one a URI may hold, and every "%" starts an escape.
bool isUriText(std::string_view text) {
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '%') {
            if (i + 2 >= text.size() || Text::hexDigitValue(text[i + 1]) < 0 || Text::hexDigitValue(text[i + 2]) < 0) return false;
            i += 2;
        } else if (!isUnreserved(c) && !isSubDelim(c) && !isGenDelim(c)) {
            return false;
        }
    }
    return true;
}

bool hasBrackets(std::string_view text) {
    return text.find_first_of("[]") != std::string_view::npos;
}

// The text with its escapes decoded; nothing when the result is not UTF-8.
std::optional<std::string> percentDecoded(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%') {
            out.push_back(static_cast<char>(Text::hexDigitValue(text[i + 1]) * 16 + Text::hexDigitValue(text[i + 2])));
            i += 2;
        } else {
            out.push_back(text[i]);
        }
    }
    if (UnicodeText::repairedUtf8(out) != out) return std::nullopt;
    return out;
}

// [userinfo "@"] host [":" port]; the host, or nothing when the authority is malformed.
std::optional<std::string> hostOf(std::string_view authority) {
    if (auto at = authority.find('@'); at != std::string_view::npos) {
        if (hasBrackets(authority.substr(0, at))) return std::nullopt;
        authority.remove_prefix(at + 1);
    }
    std::string_view host = authority, port;
    if (authority.starts_with('[')) {
        const auto close = authority.find(']');
        if (close == std::string_view::npos) return std::nullopt;
        host = authority.substr(0, close + 1);
        const std::string_view inside = authority.substr(1, close - 1);
        if (inside.empty() || std::any_of(inside.begin(), inside.end(), [](char c) {
                return !(isUnreserved(c) || isSubDelim(c) || c == ':');
            })) {
            return std::nullopt;
        }
        const std::string_view after = authority.substr(close + 1);
        if (!after.empty() && !after.starts_with(':')) return std::nullopt;
        port = after.empty() ? after : after.substr(1);
    } else if (auto colon = authority.find(':'); colon != std::string_view::npos) {
        host = authority.substr(0, colon);
        port = authority.substr(colon + 1);
    }
    if (!host.starts_with('[') && (hasBrackets(host) || host.find('@') != std::string_view::npos))
        return std::nullopt;
    if (!std::all_of(port.begin(), port.end(), Text::isAsciiDigit)) return std::nullopt;
    return percentDecoded(host);
}

}  // namespace

std::optional<std::string_view> UriComponents::schemeOf(std::string_view uri) {
    const auto colon = uri.find(':');
    if (colon == std::string_view::npos || colon == 0 || !isAlpha(uri[0])) return std::nullopt;
    const std::string_view scheme = uri.substr(0, colon);
    for (char c : scheme) {
        if (!isAlpha(c) && !Text::isAsciiDigit(c) && c != '+' && c != '-' && c != '.') return std::nullopt;
    }
    return scheme;
}

std::optional<UriComponents> UriComponents::split(std::string_view uri) {
    const auto scheme = schemeOf(uri);
    if (!scheme) return std::nullopt;
    std::string_view rest = uri.substr(scheme->size() + 1);
    if (!isUriText(rest)) return std::nullopt;

    if (auto hash = rest.find('#'); hash != std::string_view::npos) {
        const std::string_view fragment = rest.substr(hash + 1);
        if (fragment.find('#') != std::string_view::npos || hasBrackets(fragment)) return std::nullopt;
        rest = rest.substr(0, hash);
    }
    std::optional<std::string_view> query;
    if (auto question = rest.find('?'); question != std::string_view::npos) {
        query = rest.substr(question + 1);
        if (hasBrackets(*query)) return std::nullopt;
        rest = rest.substr(0, question);
    }

    UriComponents out;
    out.scheme = std::string(*scheme);
    if (rest.starts_with("//")) {
        rest.remove_prefix(2);
        const auto slash = std::min(rest.find('/'), rest.size());
        out.host = hostOf(rest.substr(0, slash));
        if (!out.host) return std::nullopt;
        rest.remove_prefix(slash);
    }
    if (hasBrackets(rest)) return std::nullopt;
    auto path = percentDecoded(rest);
    if (!path) return std::nullopt;
    out.path = std::move(*path);

    if (query && !query->empty()) {
        std::string_view items = *query;
        while (true) {
            const auto amp = std::min(items.find('&'), items.size());
            const std::string_view item = items.substr(0, amp);
            const auto equals = item.find('=');
            auto name = percentDecoded(item.substr(0, equals));
            if (!name) return std::nullopt;
            UriQueryItem decoded{std::move(*name), std::nullopt};
            if (equals != std::string_view::npos) {
                decoded.value = percentDecoded(item.substr(equals + 1));
                if (!decoded.value) return std::nullopt;
            }
            out.queryItems.push_back(std::move(decoded));
            if (amp == items.size()) break;
            items.remove_prefix(amp + 1);
        }
    }
    return out;
}

}  // namespace quillfen
