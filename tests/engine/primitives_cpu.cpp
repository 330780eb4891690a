// Processor detection, the implementations chosen from it, the clock rate and
// the cycle counter.
#include <gtest/gtest.h>

#include "engine/primitives/primitive_table.h"
#include "engine/primitives/primitives.h"

namespace kp = korvane::primitives;

TEST(ProcessorDetection, ReportsTheFlagsOfThisProcessor) {
    const kp::CpuFeatures& features = kp::cpuFeatures();
    EXPECT_EQ(ISFPU(), 1);
    EXPECT_EQ(ISSSE2(), 1);  // every x86-64 processor
    EXPECT_EQ(ISTSC(), features.tsc);
    EXPECT_EQ(ISMMX(), features.mmx);
    EXPECT_EQ(ISMMX2(), features.mmx2);
    EXPECT_EQ(IS3DNOW(), features.threeDNow);
    EXPECT_EQ(ISAVX2(), __builtin_cpu_supports("avx2") ? 1 : 0);
    for (const int flag : {ISCMOV(), ISMMX(), ISMMX2(), ISSSE(), IS3DNOW(), IS3DNOW2()}) {
        EXPECT_TRUE(flag == 0 || flag == 1) << flag;
    }
}

TEST(ProcessorDetection, ChoosesTheWidestVectorVariantOffered) {
    kp::CpuFeatures features;
    EXPECT_EQ(kp::choosePrimitives(features).copy, kp::plain::copy);
    features.sse2 = 1;
    EXPECT_EQ(kp::choosePrimitives(features).mix16, kp::sse2::mix16);
    features.avx2 = 1;
    const kp::PrimitiveTable table = kp::choosePrimitives(features);
    EXPECT_EQ(table.copy, kp::avx2::copy);
    EXPECT_EQ(table.mix16, kp::avx2::mix16);
    EXPECT_EQ(table.scale16, kp::avx2::scale16);
    EXPECT_EQ(table.pan16, kp::plain::pan16);
    EXPECT_EQ(kp::activePrimitives().scale16, kp::choosePrimitives(kp::cpuFeatures()).scale16);
}

TEST(ClockRate, IsMeasuredOnceAndCountsCycles) {
    const int mhz = MHZ();
    EXPECT_GT(mhz, 100);
    EXPECT_EQ(MHZ(), mhz);
    const int64_t before = CPUCOUNTER();
    EXPECT_GT(CPUCOUNTER(), before);
}

TEST(ClockRate, WithoutTimeStampCounterFallsBackToTheTimer) {
    kp::CpuFeatures noCounter;
    noCounter.fpu = 1;
    const int mhz = kp::measureMhz(noCounter);
    EXPECT_GT(mhz, 0);
    const int64_t before = kp::timerCycles(mhz);
    EXPECT_GE(kp::timerCycles(mhz), before);
    EXPECT_EQ(kp::timerCycles(0), 0);
}
