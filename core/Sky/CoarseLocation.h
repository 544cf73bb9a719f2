#pragma once

namespace quillfen {

// A location as the platform gave it at reduced accuracy; it is rounded only when a
// sky request is built.
struct CoarseLocation {
    double lat = 0;
    double lng = 0;

    // Halves round away from zero.
    CoarseLocation rounded(int decimals) const;
    bool operator==(const CoarseLocation&) const = default;
};

}  // namespace quillfen
