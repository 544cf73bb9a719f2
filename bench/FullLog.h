#pragma once

namespace quillfen::bench {

// The signal log as full as it gets: fourteen days kept, one sample a minute.
constexpr int kRetentionDays = 14;
constexpr int kFullLog = kRetentionDays * 24 * 60;

}  // namespace quillfen::bench
