#pragma once

#include <ostream>

#include "Mind/LineHistory.h"

namespace quillfen {

// Readable failures for the line records, in place of their bytes.
inline void PrintTo(const LineHistory& history, std::ostream* out) {
    *out << "{lastTemplateId: " << history.lastTemplateId.value_or("(absent)")
         << ", lastRenderedLine: " << history.lastRenderedLine.value_or("(absent)") << "}";
}

}  // namespace quillfen
