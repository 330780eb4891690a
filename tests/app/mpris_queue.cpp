// The media command queue between the bus thread and the main thread.
#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "app/window/media_commands.h"

namespace korvane {
namespace {

TEST(MediaCommandQueue, CommandsComeOutInOrderWithRisingSerials) {
    MediaCommandQueue queue;
    EXPECT_EQ(queue.take().action, MediaAction::None);
    EXPECT_EQ(queue.push(MediaAction::Pause), 1u);
    EXPECT_EQ(queue.push(MediaAction::SetVolume, 0.25), 2u);
    EXPECT_EQ(queue.take().action, MediaAction::Pause);
    const MediaCommand second = queue.take();
    EXPECT_EQ(second.value, 0.25);
    EXPECT_EQ(second.serial, 2u);
    EXPECT_EQ(queue.take().serial, 0u);  // none waits
    EXPECT_TRUE(queue.empty());
}

TEST(MediaCommandQueue, PushesFromOtherThreadsArriveOnceEachInSerialOrder) {
    MediaCommandQueue queue;
    constexpr std::uint64_t perThread = 2000;
    std::vector<std::thread> pushers;
    for (int t = 0; t < 3; ++t)
        pushers.emplace_back([&] {
            for (std::uint64_t i = 0; i < perThread; ++i) queue.push(MediaAction::Next);
        });
    std::uint64_t taken = 0;
    while (taken < 3 * perThread) {
        const MediaCommand command = queue.take();
        if (command.action == MediaAction::None) continue;
        ASSERT_EQ(command.serial, ++taken);
    }
    for (std::thread& pusher : pushers) pusher.join();
    EXPECT_TRUE(queue.empty());
}

}  // namespace
}  // namespace korvane
