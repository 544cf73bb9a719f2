#pragma once

#include <string_view>

#include "Stone/StoneArt.h"
#include "Stone/StoneIdentity.h"
#include "Support/Clock.h"

// Which drawing a surface wears, and the journal's word when it has to wear another stone's.
// Each fall-back is told once per surface and stone for the life of the process.
namespace quillfen::StoneSurface {

StoneArt art(const StoneIdentity& identity, std::string_view surface, const Clock& now = systemClock());

// Tells, once per label, that the named surfaces wear the fallback stone because none is kept.
void noteWearingFallbackByDefault(std::string_view label, const Clock& now = systemClock());

}  // namespace quillfen::StoneSurface
