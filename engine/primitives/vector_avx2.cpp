// COPY, MIX16 and SCALE16 on 32-byte blocks, for processors with AVX2 only.
//
// Stores that cross a cache line cost about twice as much, and allocations
// are commonly only 16-byte aligned, so the blocks are stored at 32-byte
// aligned destination addresses. The unaligned first and last blocks are
// computed before the aligned walk and stored after it, overlapping it: every
// output byte depends only on the input bytes at the same offset, so the
// overlap writes equal values, even when dst is one of the inputs. Sizes below
// one block go through the plain variant.
#include <immintrin.h>

#include "engine/primitives/primitive_table.h"

#define KORVANE_AVX2 __attribute__((target("avx2")))

namespace korvane::primitives::avx2 {

namespace {

constexpr std::size_t blockBytes = 32;

KORVANE_AVX2 __m256i load(const unsigned char* at) {
    return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(at));
}

KORVANE_AVX2 void store(unsigned char* at, __m256i value) {
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(at), value);
}

// Stores block(offset) for every block of dst; size >= blockBytes, and even
// with wholeSamples, so that the last block starts on a sample too. With
// wholeSamples the aligned walk starts on a sample boundary, which an odd dst
// address rules out: it then stays unaligned.
template <typename Block>
KORVANE_AVX2 void storeBlocks(unsigned char* dst, std::size_t size, bool wholeSamples, const Block& block) {
    const __m256i first = block(0);
    const __m256i last = block(size - blockBytes);
    const auto misalignment = static_cast<std::size_t>(reinterpret_cast<uintptr_t>(dst) % blockBytes);
    std::size_t at = (wholeSamples && misalignment % 2 != 0) ? blockBytes : blockBytes - misalignment;
    for (; at + 4 * blockBytes <= size; at += 4 * blockBytes) {
        const __m256i v0 = block(at);
        const __m256i v1 = block(at + blockBytes);
        const __m256i v2 = block(at + 2 * blockBytes);
        const __m256i v3 = block(at + 3 * blockBytes);
        store(dst + at, v0);
        store(dst + at + blockBytes, v1);
        store(dst + at + 2 * blockBytes, v2);
        store(dst + at + 3 * blockBytes, v3);
    }
    for (; at + blockBytes <= size; at += blockBytes) {
        store(dst + at, block(at));
    }
    store(dst + size - blockBytes, last);
    store(dst, first);
}

struct CopyBlock {
    const unsigned char* src;
    KORVANE_AVX2 __m256i operator()(std::size_t at) const { return load(src + at); }
};

struct MixBlock {
    const unsigned char* a;
    const unsigned char* b;
    KORVANE_AVX2 __m256i operator()(std::size_t at) const { return _mm256_adds_epi16(load(a + at), load(b + at)); }
};

// floor(sample x gain / 65536), saturated, for sixteen samples. With gain =
// high x 65536 + low (low unsigned 16-bit) that is sample x high +
// floor(sample x low / 65536): the second term is the unsigned high product
// corrected by low where the sample is negative, and always fits 16 bits.
KORVANE_AVX2 __m256i lowGainProduct(__m256i samples, int32_t gain) {
    const __m256i low = _mm256_set1_epi16(static_cast<int16_t>(gain & 0xFFFF));
    return _mm256_sub_epi16(_mm256_mulhi_epu16(samples, low), _mm256_and_si256(_mm256_srai_epi16(samples, 15), low));
}

// Gains in 0 <= gain < 1: high is 0, the low product is the result.
struct ScaleBelowOne {
    const unsigned char* src;
    int32_t gain;
    KORVANE_AVX2 __m256i operator()(std::size_t at) const { return lowGainProduct(load(src + at), gain); }
};

// Gains in 1 <= gain < 2: high is 1; one saturating add of the sample.
struct ScaleBelowTwo {
    const unsigned char* src;
    int32_t gain;
    KORVANE_AVX2 __m256i operator()(std::size_t at) const {
        const __m256i samples = load(src + at);
        return _mm256_adds_epi16(samples, lowGainProduct(samples, gain));
    }
};

// Gains in -1 <= gain < 0: high is -1; one saturating subtraction.
struct ScaleAboveMinusOne {
    const unsigned char* src;
    int32_t gain;
    KORVANE_AVX2 __m256i operator()(std::size_t at) const {
        const __m256i samples = load(src + at);
        return _mm256_subs_epi16(lowGainProduct(samples, gain), samples);
    }
};

// Any gain: sample x high as a 32-bit product plus the low product, packed
// with saturation. Unpacking and packing both work within each 128-bit lane,
// so the order of the samples is kept.
struct ScaleAny {
    const unsigned char* src;
    int32_t gain;
    KORVANE_AVX2 __m256i operator()(std::size_t at) const {
        const __m256i samples = load(src + at);
        const __m256i high = _mm256_set1_epi16(static_cast<int16_t>(gain >> 16));
        const __m256i productLow = _mm256_mullo_epi16(samples, high);
        const __m256i productHigh = _mm256_mulhi_epi16(samples, high);
        const __m256i fraction = lowGainProduct(samples, gain);
        const __m256i sum0 = _mm256_add_epi32(_mm256_unpacklo_epi16(productLow, productHigh),
                                              _mm256_srai_epi32(_mm256_unpacklo_epi16(fraction, fraction), 16));
        const __m256i sum1 = _mm256_add_epi32(_mm256_unpackhi_epi16(productLow, productHigh),
                                              _mm256_srai_epi32(_mm256_unpackhi_epi16(fraction, fraction), 16));
        return _mm256_packs_epi32(sum0, sum1);
    }
};

}  // namespace

KORVANE_AVX2 void copy(void* dst, const void* src, std::size_t size) {
    if (size < blockBytes) {
        plain::copy(dst, src, size);
        return;
    }
    storeBlocks(static_cast<unsigned char*>(dst), size, false, CopyBlock{static_cast<const unsigned char*>(src)});
}

KORVANE_AVX2 void mix16(void* dst, const void* a, const void* b, std::size_t size) {
    if (size < blockBytes) {
        plain::mix16(dst, a, b, size);
        return;
    }
    storeBlocks(static_cast<unsigned char*>(dst), size & ~std::size_t{1}, true,
                MixBlock{static_cast<const unsigned char*>(a), static_cast<const unsigned char*>(b)});
}

KORVANE_AVX2 void scale16(void* dst, const void* src, int32_t gain, std::size_t size) {
    if (size < blockBytes) {
        plain::scale16(dst, src, gain, size);
        return;
    }
    auto* const out = static_cast<unsigned char*>(dst);
    const auto* const in = static_cast<const unsigned char*>(src);
    size &= ~std::size_t{1};
    // The volumes and pan gains of the mixer lie in 0..2, where the cheaper
    // forms apply.
    switch (gain >> 16) {
    case 0:
        storeBlocks(out, size, true, ScaleBelowOne{in, gain});
        break;
    case 1:
        storeBlocks(out, size, true, ScaleBelowTwo{in, gain});
        break;
    case -1:
        storeBlocks(out, size, true, ScaleAboveMinusOne{in, gain});
        break;
    default:
        storeBlocks(out, size, true, ScaleAny{in, gain});
        break;
    }
}

}  // namespace korvane::primitives::avx2
