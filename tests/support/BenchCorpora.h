#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "Signals/SignalSample.h"
#include "Support/Clock.h"

// The inputs the benchmarks time, made the same way at any scale, so that tests can pin what the
// readers make of them: the same seeds and line shapes as the agents, journals and tick write.
namespace quillfen::test::BenchCorpora {

// `files` Claude Code sessions of `bytesPerFile` or a little more in 30 projects under `projects`,
// modified over the week before `now`: short user turns, long answers and tool output.
void writeClaudeLogs(const std::filesystem::path& projects, TimePoint now, int files, std::size_t bytesPerFile);

// `files` Codex sessions of 20 to 420 kB under `sessions`, all touched in the 36 hours before `now`.
void writeCodexLogs(const std::filesystem::path& sessions, TimePoint now, int files);

// A journal of `bytes` or more from 2026-01-01T08:00:00Z on, one record every 7 s: the browser
// companion's events, or the prompt hook's pulls.
std::string journal(std::size_t bytes, bool browser);

// Fourteen days at one sample a minute up to `now`, as the tick writes them.
std::vector<SignalSample> minuteLog(TimePoint now);

// A document of `item`s, joined by commas between `open` and `close`, as long as fits in `cap` bytes.
std::string documentAtCap(std::size_t cap, std::string_view open, std::string_view item,
                          std::string_view close);

// One verdict of the face feedback, as the feedback log writes it.
extern const std::string_view kFaceVerdict;

// A home (at `home`, with the XDG folders below it) where every file of the application sits at
// its read cap, or, for a journal, at the size past which it is cut: the signal log 16 MB of
// samples of the fortnight before `now`, the face feedback its verdicts, each small store 1 MB in
// the costliest shape a decoder can be handed (an array of empty objects), the settings 1 MB of
// keys. What a start over a full or hostile home costs at most.
void writeStoresAtTheirCaps(const std::filesystem::path& home, TimePoint now);

// A short mark of a long description (FNV-1a), to pin a reading too long to spell out.
std::uint64_t digest(std::string_view description);

}  // namespace quillfen::test::BenchCorpora
