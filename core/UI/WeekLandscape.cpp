#include "UI/WeekLandscape.h"

namespace quillfen::WeekLandscape {

double height(bool observed, bool wentLong, bool fragmented) {
    if (!observed) return 0.08;
    if (wentLong) return fragmented ? 1.0 : 0.72;
    return fragmented ? 0.5 : 0.24;
}

}  // namespace quillfen::WeekLandscape
