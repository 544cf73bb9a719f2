#pragma once

#include "Stone/StoneIdentity.h"
#include "UI/ObservableModel.h"
#include "UI/StoneFace.h"

namespace quillfen {

// What the tray's stone shows: whether something waits to be said, whether the heartbeat
// has gone stale, the stone's face, and whose stone it is.
class MenuBarModel : public ObservableModel {
    Q_OBJECT
public:
    using ObservableModel::ObservableModel;

    bool hasSomethingToSay() const { return hasSomethingToSay_; }
    bool stale() const { return stale_; }
    StoneFace face() const { return face_; }
    const StoneIdentity& identity() const { return identity_; }

    void setHasSomethingToSay(bool value) { assign(hasSomethingToSay_, value); }
    void setStale(bool value) { assign(stale_, value); }
    void setFace(StoneFace value) { assign(face_, value); }
    void setIdentity(const StoneIdentity& value) { assign(identity_, value); }

private:
    bool hasSomethingToSay_ = false;
    bool stale_ = false;
    StoneFace face_ = StoneFace::calm;
    StoneIdentity identity_ = StoneIdentity::fallback();
};

}  // namespace quillfen
