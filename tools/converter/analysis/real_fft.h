// Magnitude spectra of real signals of one power-of-two length, computed the
// same way on every machine: one fixed sequence of scalar operations, so the
// analysis built on it gives the same numbers wherever it runs.
#pragma once

#include <vector>

namespace korvane::converter {

class RealFft {
public:
    // size: a power of two, at least 4.
    explicit RealFft(int size);

    int size() const { return size_; }

    // magnitudes[k] = |X[k]| for k = 0 .. size / 2, of the `size` samples
    // of `signal`.
    void magnitudes(const float* signal, float* magnitudes);

private:
    int size_;
    std::vector<int> reversed_;  // bit reversal of the half-length transform
    // e^(-2 pi i k / size), k < size / 2, real and imaginary parts
    std::vector<float> cos_, sin_;
    // The same factors as each butterfly stage reads them, one after the
    // other: stage `span` (2, 4, 8 ...) has span entries from index span - 2,
    // so its inner loop reads them in order.
    std::vector<float> stageCos_, stageSin_;
    std::vector<float> re_, im_;  // the half-length transform
};

}  // namespace korvane::converter
