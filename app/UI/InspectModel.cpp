#include "UI/InspectModel.h"

namespace quillfen {

InspectModel::InspectModel(TimePoint created, QObject* parent) : ObservableModel(parent), lastUpdated_(created) {}

void InspectModel::setCloud(const InspectFacts::CloudFields& cloud) {
    setCloudStatus(cloud.status);
    setCloudReasoning(cloud.reasoning);
    setCloudLine(cloud.line);
    setCloudSource(cloud.source);
}

void InspectModel::setLiveness(const InspectFacts::Liveness& liveness) {
    setHeartbeatStale(liveness.heartbeatStale);
    setLastTickAgoLabel(liveness.lastTickAgoLabel);
}

}  // namespace quillfen
