// The seeded generator behind Platform::random(), shared by both platforms.
#pragma once

#include <cstdint>
#include <random>

namespace korvane {

class RandomNumbers {
public:
    void seed(std::uint64_t value) { engine_.seed(value); }
    // Uniform in [0, 1): the top 53 bits of one draw, so 1.0 never comes out.
    double next() { return static_cast<double>(engine_() >> 11) * 0x1.0p-53; }

private:
    std::mt19937_64 engine_{0x6b6f7276616e65ull};
};

}  // namespace korvane
