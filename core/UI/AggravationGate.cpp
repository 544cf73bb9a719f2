#include "UI/AggravationGate.h"

namespace quillfen {

void AggravationGate::askResolved(bool stepped, double score) {
    if (stepped || score >= raiseFloor) isAggravated = !stepped;
}

void AggravationGate::observe(double score) {
    if (score < clearBelow) isAggravated = false;
}

void AggravationGate::didMove() {
    isAggravated = false;
}

}  // namespace quillfen
