#pragma once

namespace quillfen {

// Whether this application may learn where the machine is. Nothing is known before the
// first request; the system's own answer settles it.
enum class LocationAuthorization { notDetermined, restricted, denied, authorized };

}  // namespace quillfen
