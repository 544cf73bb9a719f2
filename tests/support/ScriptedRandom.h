#pragma once

#include <cstddef>
#include <cstdint>
#include <limits>
#include <memory>
#include <vector>

#include "Support/RandomSource.h"

namespace quillfen {

// A 64-bit generator that gives the values it was handed, in order. Copies share one script, so
// a test can count the draws made through a copy it passed by value. A draw past the end of the
// script fails the test and gives 0.
class ScriptedRandom {
public:
    using result_type = std::uint64_t;

    explicit ScriptedRandom(std::vector<std::uint64_t> values);

    static constexpr result_type min() { return 0; }
    static constexpr result_type max() { return std::numeric_limits<result_type>::max(); }
    result_type operator()();

    std::size_t draws() const;

private:
    struct Script {
        std::vector<std::uint64_t> values;
        std::size_t next = 0;
    };
    std::shared_ptr<Script> script_;
};

// A script of `draws` values from the middle of the range, each of which gives a breath cycle of
// exactly six seconds.
AnyRNGBox evenBreaths(std::size_t draws);

}  // namespace quillfen
