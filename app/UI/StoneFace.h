#pragma once

namespace quillfen {

// The stone's expression. Calm and neutral breathe; strained and open hold still.
enum class StoneFace { calm, neutral, strained, open };

inline bool breathes(StoneFace face) {
    return face == StoneFace::calm || face == StoneFace::neutral;
}

}  // namespace quillfen
