// COPY, MIX16 and SCALE16 on 16-byte blocks, four blocks per round; the tail
// shorter than a block goes through the plain variant. Unaligned loads and
// stores, so buffers may start at any address.
#include <emmintrin.h>

#include "engine/primitives/primitive_table.h"

namespace korvane::primitives::sse2 {

namespace {

__m128i load(const unsigned char* at) {
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
}

void store(unsigned char* at, __m128i value) {
    _mm_storeu_si128(reinterpret_cast<__m128i*>(at), value);
}

// floor(sample x gain / 65536), saturated, for eight samples. With gain =
// high x 65536 + low (low unsigned 16-bit) that is sample x high +
// floor(sample x low / 65536): the first a 32-bit product, the second the
// unsigned high product corrected by low where the sample is negative.
__m128i scaleBlock(__m128i samples, __m128i high, __m128i low) {
    const __m128i productLow = _mm_mullo_epi16(samples, high);
    const __m128i productHigh = _mm_mulhi_epi16(samples, high);
    const __m128i fraction =
        _mm_sub_epi16(_mm_mulhi_epu16(samples, low), _mm_and_si128(_mm_srai_epi16(samples, 15), low));
    const __m128i sum0 = _mm_add_epi32(_mm_unpacklo_epi16(productLow, productHigh),
                                       _mm_srai_epi32(_mm_unpacklo_epi16(fraction, fraction), 16));
    const __m128i sum1 = _mm_add_epi32(_mm_unpackhi_epi16(productLow, productHigh),
                                       _mm_srai_epi32(_mm_unpackhi_epi16(fraction, fraction), 16));
    return _mm_packs_epi32(sum0, sum1);
}

}  // namespace

void copy(void* dst, const void* src, std::size_t size) {
    auto* d = static_cast<unsigned char*>(dst);
    const auto* s = static_cast<const unsigned char*>(src);
    std::size_t i = 0;
    for (; i + 64 <= size; i += 64) {
        const __m128i v0 = load(s + i);
        const __m128i v1 = load(s + i + 16);
        const __m128i v2 = load(s + i + 32);
        const __m128i v3 = load(s + i + 48);
        store(d + i, v0);
        store(d + i + 16, v1);
        store(d + i + 32, v2);
        store(d + i + 48, v3);
    }
    for (; i + 16 <= size; i += 16) {
        store(d + i, load(s + i));
    }
    plain::copy(d + i, s + i, size - i);
}

void mix16(void* dst, const void* a, const void* b, std::size_t size) {
    auto* d = static_cast<unsigned char*>(dst);
    const auto* x = static_cast<const unsigned char*>(a);
    const auto* y = static_cast<const unsigned char*>(b);
    std::size_t i = 0;
    for (; i + 64 <= size; i += 64) {
        const __m128i v0 = _mm_adds_epi16(load(x + i), load(y + i));
        const __m128i v1 = _mm_adds_epi16(load(x + i + 16), load(y + i + 16));
        const __m128i v2 = _mm_adds_epi16(load(x + i + 32), load(y + i + 32));
        const __m128i v3 = _mm_adds_epi16(load(x + i + 48), load(y + i + 48));
        store(d + i, v0);
        store(d + i + 16, v1);
        store(d + i + 32, v2);
        store(d + i + 48, v3);
    }
    for (; i + 16 <= size; i += 16) {
        store(d + i, _mm_adds_epi16(load(x + i), load(y + i)));
    }
    plain::mix16(d + i, x + i, y + i, size - i);
}

void scale16(void* dst, const void* src, int32_t gain, std::size_t size) {
    auto* d = static_cast<unsigned char*>(dst);
    const auto* s = static_cast<const unsigned char*>(src);
    const __m128i high = _mm_set1_epi16(static_cast<int16_t>(gain >> 16));
    const __m128i low = _mm_set1_epi16(static_cast<int16_t>(gain & 0xFFFF));
    std::size_t i = 0;
    for (; i + 32 <= size; i += 32) {
        const __m128i v0 = scaleBlock(load(s + i), high, low);
        const __m128i v1 = scaleBlock(load(s + i + 16), high, low);
        store(d + i, v0);
        store(d + i + 16, v1);
    }
    for (; i + 16 <= size; i += 16) {
        store(d + i, scaleBlock(load(s + i), high, low));
    }
    plain::scale16(d + i, s + i, gain, size - i);
}

}  // namespace korvane::primitives::sse2
