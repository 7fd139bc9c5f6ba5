// One budget of bytes shared by every connection (the bodies being read,
// the answers being written), so that many clients together cannot hold
// more memory than the budget whatever the descriptor limit allows.
#pragma once

#include <atomic>
#include <cstddef>

namespace arraysim {

class ByteBudget {
public:
    explicit ByteBudget(size_t limit) : limit_(limit) {}

    // Takes `bytes` when they fit beside what is taken; false, taking
    // nothing, when they do not.
    bool take(size_t bytes) {
        size_t used = used_.load();
        do {
            if (bytes > limit_ || used > limit_ - bytes) return false;
        } while (!used_.compare_exchange_weak(used, used + bytes));
        return true;
    }
    // Takes `bytes` whether they fit or not (what is taken may pass the limit).
    void force(size_t bytes) { used_ += bytes; }
    // True when nothing is taken any more.
    bool giveBack(size_t bytes) { return used_.fetch_sub(bytes) == bytes; }
    size_t used() const { return used_.load(); }

    ByteBudget(const ByteBudget&) = delete;
    ByteBudget& operator=(const ByteBudget&) = delete;

private:
    const size_t limit_;
    std::atomic<size_t> used_{0};
};

// Bytes of a budget held by one connection, given back when released or
// when the holder goes.
class HeldBytes {
public:
    HeldBytes() = default;
    ~HeldBytes() { release(); }

    bool take(ByteBudget& budget, size_t bytes) {
        release();
        if (!budget.take(bytes)) return false;
        budget_ = &budget;
        bytes_ = bytes;
        return true;
    }
    void force(ByteBudget& budget, size_t bytes) {
        release();
        budget.force(bytes);
        budget_ = &budget;
        bytes_ = bytes;
    }
    // True when this gave bytes back and the budget is now empty.
    bool release() {
        const bool emptied = budget_ != nullptr && bytes_ > 0 && budget_->giveBack(bytes_);
        budget_ = nullptr;
        bytes_ = 0;
        return emptied;
    }

    HeldBytes(const HeldBytes&) = delete;
    HeldBytes& operator=(const HeldBytes&) = delete;

private:
    ByteBudget* budget_ = nullptr;
    size_t bytes_ = 0;
};

}  // namespace arraysim
