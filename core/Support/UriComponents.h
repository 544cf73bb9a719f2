#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quillfen {

struct UriQueryItem {
    std::string name;
    std::optional<std::string> value;  // none for an item without "="
    bool operator==(const UriQueryItem&) const = default;
};

// An absolute URI split as RFC 3986 reads it (scheme ":" ["//" authority] path ["?" query]
// ["#" fragment]), without resolving against a base. Host, path and query names and values are
// percent-decoded; "+" stays a plus.
struct UriComponents {
    std::string scheme;
    std::optional<std::string> host;  // present when there is an authority, though it may be empty
    std::string path;
    std::vector<UriQueryItem> queryItems;  // in order, "&" between them

    // The text before the first ":", when it is a scheme (a letter, then letters, digits, "+",
    // "-" and "."). The rest of the text is not looked at.
    static std::optional<std::string_view> schemeOf(std::string_view uri);

    // Nothing when the text is no URI: no scheme; a character a URI cannot hold (space, control,
    // non-ASCII, and `"<>\^{|}); a "%" without two hexadecimal digits after it; "[" or "]"
    // outside a bracketed host, or a second "#"; a port that is not digits; a percent-decoded
    // part that is not UTF-8.
    static std::optional<UriComponents> split(std::string_view uri);
};

}  // namespace quillfen
