#include "support/address_space.h"

#include <cstdlib>

namespace kavrel::test {

LargeAllocationsFail::LargeAllocationsFail(std::size_t size) {
    reserved_.reserve(4096);
    // Once no piece of half the size can be reserved any more, no free region is as large as the
    // size (any such region would have held a half-size piece).
    for (std::size_t piece = std::size_t{1} << 30; piece >= size / 2 && piece > 0; piece /= 2) {
        while (reserved_.size() < reserved_.capacity()) {
            void* region = ::VirtualAlloc(nullptr, piece, MEM_RESERVE, PAGE_NOACCESS);
            if (!region) break;
            reserved_.push_back(region);
        }
    }
    void* probe = std::malloc(size);
    holds_ = probe == nullptr;
    std::free(probe);
}

LargeAllocationsFail::~LargeAllocationsFail() {
    for (void* region : reserved_) ::VirtualFree(region, 0, MEM_RELEASE);
}

}  // namespace kavrel::test
