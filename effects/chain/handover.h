// Handing a parameter set from the main thread to the output thread without
// a lock: three slots, one written by the main thread, one read by the
// output thread, and one in between that the two swap with an atomic
// exchange. The output thread always gets a whole set, the newest one
// published; sets published between two of its calls are skipped.
#pragma once

#include <atomic>

namespace korvane {

template <typename T>
class Handover {
public:
    // Main thread: value becomes the set the next take() returns.
    void publish(const T& value) {
        slots_[writing_] = value;
        // Release hands the slot over; acquire makes sure the output thread
        // has finished reading the slot we get back before we write it.
        const unsigned previous = middle_.exchange(writing_ | fresh, std::memory_order_acq_rel);
        writing_ = previous & slotMask;
    }

    // Output thread: the newest set published since the last take, or null
    // when there is none. The pointer stays valid until the next take.
    const T* take() {
        if ((middle_.load(std::memory_order_relaxed) & fresh) == 0) return nullptr;
        const unsigned previous = middle_.exchange(reading_, std::memory_order_acq_rel);
        reading_ = previous & slotMask;
        return &slots_[reading_];
    }

private:
    static constexpr unsigned slotMask = 3;
    static constexpr unsigned fresh = 4;  // the middle slot holds a set not yet taken

    T slots_[3]{};
    unsigned writing_ = 0;            // main thread
    std::atomic<unsigned> middle_{1};  // slot index, with `fresh` when new
    unsigned reading_ = 2;            // output thread
};

}  // namespace korvane
