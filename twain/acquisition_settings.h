// Settings of TWAIN_AcquireNative that the module's own script functions choose for themselves;
// they are not exported, and every other caller gets the defaults.
#pragma once

namespace kavrel::twainlib {

// How many transfers TWAIN_AcquireNative asks every source it opens for (CAP_XFERCOUNT), and
// takes of a batch at most, even from a source that ignores the count; 0, the default, leaves the
// count to the source.
void SetAcquireTransfersWanted(int count) noexcept;
int AcquireTransfersWanted() noexcept;

// Sets the count for as long as it lives, and then the one before.
class ScopedAcquireTransfersWanted {
public:
    explicit ScopedAcquireTransfersWanted(int count) noexcept : before_(AcquireTransfersWanted()) {
        SetAcquireTransfersWanted(count);
    }
    ScopedAcquireTransfersWanted(const ScopedAcquireTransfersWanted&) = delete;
    ScopedAcquireTransfersWanted& operator=(const ScopedAcquireTransfersWanted&) = delete;
    ~ScopedAcquireTransfersWanted() { SetAcquireTransfersWanted(before_); }

private:
    int before_;
};

}  // namespace kavrel::twainlib
