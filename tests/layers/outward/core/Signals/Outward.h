#pragma once

// A core header as the layer check must refuse it, in the spellings a compiler would take.
// clang-format off
#include <vector>

#include "Support/Clock.h"
#include "platform/EventStore.h"
#   include "../../app/Desktop.h"
#include <app/UI/Theme.h>
// clang-format on
