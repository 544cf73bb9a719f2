#pragma once

#include <concepts>
#include <cstdint>
#include <functional>
#include <limits>
#include <random>
#include <type_traits>
#include <utility>

namespace quillfen {

// The next full 64-bit value of any generator: its own value when it already spans 64 bits
// (so a scripted generator's values are used exactly), else one spread over the whole range.
template <std::uniform_random_bit_generator Generator>
std::uint64_t nextRandom64(Generator& generator) {
    constexpr auto span =
        static_cast<std::uint64_t>(Generator::max()) - static_cast<std::uint64_t>(Generator::min());
    if constexpr (span == std::numeric_limits<std::uint64_t>::max()) {
        return static_cast<std::uint64_t>(generator()) - static_cast<std::uint64_t>(Generator::min());
    } else {
        return std::uniform_int_distribution<std::uint64_t>()(generator);
    }
}

// Holds a copy of any generator and is itself a 64-bit generator drawing from that copy, so
// code that takes its random source by value never advances the caller's generator.
class AnyRNGBox {
public:
    using result_type = std::uint64_t;

    template <std::uniform_random_bit_generator Generator>
    requires(!std::same_as<std::remove_cvref_t<Generator>, AnyRNGBox>) explicit AnyRNGBox(Generator generator)
        : next_([held = std::move(generator)]() mutable { return nextRandom64(held); }) {}

    static constexpr result_type min() { return 0; }
    static constexpr result_type max() { return std::numeric_limits<result_type>::max(); }
    result_type operator()() { return next_(); }

private:
    std::function<result_type()> next_;
};

// The operating system's random source: stateless, so copies share nothing and every draw is fresh.
struct SystemRandom {
    using result_type = std::uint64_t;
    static constexpr result_type min() { return 0; }
    static constexpr result_type max() { return std::numeric_limits<result_type>::max(); }
    result_type operator()() const;
};

}  // namespace quillfen
