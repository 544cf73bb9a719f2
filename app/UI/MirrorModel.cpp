#include "UI/MirrorModel.h"

#include <algorithm>

namespace quillfen {

MirrorModel::MirrorModel(QObject* parent) : ObservableModel(parent) {}

StoneFace MirrorModel::face() const {
    switch (FaceReading::tier(faceEvidence_, faceJudgedAt_, thresholds_, FaceReading::Policy::defaults())) {
        case FaceTier::calm:
            return StoneFace::calm;
        case FaceTier::neutral:
            return StoneFace::neutral;
        case FaceTier::strained:
            return StoneFace::strained;
    }
    return StoneFace::calm;
}

void MirrorModel::setLongestRunMin(int minutes) {
    assign(longestRunMin_, std::max(minutes, 0));
}

void MirrorModel::setPullsLast10m(int pulls) {
    assign(pullsLast10m_, std::max(pulls, 0));
}

void MirrorModel::setPullsToday(int pulls) {
    assign(pullsToday_, std::max(pulls, 0));
}

void MirrorModel::setLoopsToday(int loops) {
    assign(loopsToday_, std::max(loops, 0));
}

void MirrorModel::publishFace(FaceEvidence evidence, TimePoint judgedAt, int switchesPerHour, bool loopLive) {
    const bool same = evidence == faceEvidence_ && judgedAt == faceJudgedAt_ &&
                      switchesPerHour == switchesPerHour_ && loopLive == claudeLoopLive_;
    if (same) return;
    faceEvidence_ = std::move(evidence);
    faceJudgedAt_ = judgedAt;
    switchesPerHour_ = switchesPerHour;
    claudeLoopLive_ = loopLive;
    notifyChanged();
}

}  // namespace quillfen
