#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <variant>

namespace quillfen {

// The typed failure of a mind. Minds report failures as values, never by throwing.
class MindError {
public:
    enum class Kind { transport, unparseable, timedOut, refusedLeak };

    // The mind could not be reached or run, or reported an error of its own.
    static MindError transport(std::string message);
    // The mind answered, but not in a form that reads as a decision or a line.
    static MindError unparseable(std::string message);
    static MindError timedOut();
    // A document was refused as leaking raw activity.
    static MindError refusedLeak();

    Kind kind() const { return kind_; }
    // Empty for timedOut and refusedLeak.
    const std::string& message() const { return message_; }

    bool operator==(const MindError&) const = default;

private:
    MindError(Kind kind, std::string message) : kind_(kind), message_(std::move(message)) {}

    Kind kind_;
    std::string message_;
};

inline constexpr std::string_view kReflectUnsupported = "reflect unsupported by this mind";

// What a mind's call gives: its answer, or why there is none.
template <typename T>
using MindResult = std::variant<T, MindError>;

std::string_view toString(MindError::Kind);

// The form people read in traces and notes: the case name, and for a case with a message the
// message in parentheses as a quoted literal: transport("claude exited 1: no \"auth\"").
std::string textualForm(const MindError&);

// Text between double quotes with a double quote, a backslash and every control character
// escaped by a backslash (\n, \t, \r, \0, or \u{1b} for the rest); everything else as it is.
std::string quotedLiteral(std::string_view text);

}  // namespace quillfen
