#pragma once

#include "Config/AppConfig.h"
#include "Signals/SignalSample.h"

namespace quillfen::StateMapper {

// Reads one sample as attention, load and whole minutes at the screen.
CoarseState map(const SignalSample& sample, const MapperThresholds& thresholds);

// Whole minutes of a stretch: truncated toward zero; not-a-number counts as 0 and values
// beyond the integer range are clamped, so stored junk never stops the program.
std::int64_t wholeMinutes(double seconds);

}  // namespace quillfen::StateMapper
