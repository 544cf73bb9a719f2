#include "Mind/MindError.h"

#include <cstdio>

#include <unicode/uchar.h>
#include <unicode/utf8.h>

#include "Support/EnumTable.h"

namespace quillfen {

namespace {

constexpr EnumName<MindError::Kind> kMindErrorKindNames[] = {
    {MindError::Kind::transport, "transport"},
    {MindError::Kind::unparseable, "unparseable"},
    {MindError::Kind::timedOut, "timedOut"},
    {MindError::Kind::refusedLeak, "refusedLeak"},
};

void appendScalar(std::string& out, UChar32 c) {
    char buffer[U8_MAX_LENGTH];
    int32_t length = 0;
    U8_APPEND_UNSAFE(reinterpret_cast<uint8_t*>(buffer), length, c);
    out.append(buffer, static_cast<std::size_t>(length));
}

}  // namespace

MindError MindError::transport(std::string message) {
    return {Kind::transport, std::move(message)};
}
MindError MindError::unparseable(std::string message) {
    return {Kind::unparseable, std::move(message)};
}
MindError MindError::timedOut() {
    return {Kind::timedOut, {}};
}
MindError MindError::refusedLeak() {
    return {Kind::refusedLeak, {}};
}

std::string_view toString(MindError::Kind kind) {
    return enumName(kind, kMindErrorKindNames);
}

std::string textualForm(const MindError& error) {
    std::string out(toString(error.kind()));
    if (error.kind() == MindError::Kind::transport || error.kind() == MindError::Kind::unparseable) {
        out += '(';
        out += quotedLiteral(error.message());
        out += ')';
    }
    return out;
}

std::string quotedLiteral(std::string_view text) {
    std::string out = "\"";
    const auto* bytes = reinterpret_cast<const uint8_t*>(text.data());
    const int32_t length = static_cast<int32_t>(text.size());
    for (int32_t i = 0; i < length;) {
        UChar32 c;
        U8_NEXT(bytes, i, length, c);
        // A message may carry a child's raw output; broken bytes must not break the record.
        if (c < 0) c = 0xFFFD;
        switch (c) {
            case '"':
                out += "\\\"";
                break;
            case '\\':
                out += "\\\\";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\t':
                out += "\\t";
                break;
            case 0:
                out += "\\0";
                break;
            default:
                if (u_charType(c) == U_CONTROL_CHAR) {
                    char escaped[16];
                    std::snprintf(escaped, sizeof escaped, "\\u{%x}", static_cast<unsigned>(c));
                    out += escaped;
                } else {
                    appendScalar(out, c);
                }
        }
    }
    out += '"';
    return out;
}

}  // namespace quillfen
