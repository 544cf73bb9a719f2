#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "Signals/SignalSample.h"

// The text of signal-log.json, read and written without a document tree: two weeks of samples
// are some twenty thousand objects, and a tree of them costs several times the text.
namespace quillfen::SignalLogText {

// The samples of a document: one JSON array of sample objects. A document is taken or refused
// exactly as a JSON parser and `sampleFromJson` take it: invalid JSON or UTF-8, another value at
// the top, or one element that does not read as a sample refuse the whole document.
std::optional<std::vector<SignalSample>> decode(std::string_view text);

// Whether every number of the sample can be written: a number that is not finite cannot.
bool encodable(const SignalSample& sample);

// Appends the sample's object byte for byte as `sampleToJson` dumps it: keys sorted, the date in
// ISO 8601, an absent optional left out. False, with nothing appended, when it is not encodable.
bool appendSample(std::string& out, const SignalSample& sample);

// The texts of the numbers that cost the most to work out, for a run of samples: the log is
// rewritten whole at every append, and working out every number anew would cost several times
// what copying its text does. Some twenty bytes a sample.
class NumberTexts {
public:
    // Works out the texts of the sample's numbers and keeps them after those of the samples before.
    void push(const SignalSample& sample);
    // Forgets the texts of the first `count` samples.
    void dropFront(std::size_t count);
    void clear();
    std::size_t size() const { return count_; }

    // The document of the samples (whose texts these are, one for one), handed to `sink` in pieces
    // of some tens of kilobytes, so that no copy of the whole text is ever held. False when a
    // sample is not encodable or the sink refused a piece.
    bool encode(const std::vector<SignalSample>& samples, const std::function<bool(std::string_view)>& sink) const;

private:
    // Per sample: how many texts follow (none for a sample that is not encodable), then each
    // text after a byte that gives its length.
    std::string texts_;
    std::size_t count_ = 0;
};

}  // namespace quillfen::SignalLogText
