#include <cstring>

#include "tools/converter/analysis/convolution.h"

namespace korvane::converter::plain {

namespace {

// Eight floats, one at a time.
struct Lanes {
    float v[8];
    float& operator[](int j) { return v[j]; }
    Lanes& operator+=(const Lanes& x) {
        for (int j = 0; j < 8; ++j) v[j] += x.v[j];
        return *this;
    }
};
Lanes operator*(float w, const Lanes& x) {
    Lanes r;
    for (int j = 0; j < 8; ++j) r.v[j] = w * x.v[j];
    return r;
}
Lanes splat(float value) {
    Lanes r;
    for (float& v : r.v) v = value;
    return r;
}
float lane(const Lanes& x, int j) { return x.v[j]; }

}  // namespace

#include "tools/converter/analysis/convolution_kernel.inc"

}  // namespace korvane::converter::plain
