#include "failing_allocation.h"

#include <atomic>
#include <cstdlib>
#include <new>

namespace fw::usb::test {
namespace {

std::atomic<int> g_countdown{-1}; // allocations before the failing one; -1: none fails
std::atomic<bool> g_failed{false};

} // namespace

void failAllocationAfter(int succeeding)
{
    g_failed = false;
    g_countdown = succeeding;
}

bool stopFailingAllocations()
{
    g_countdown = -1;
    return g_failed;
}

} // namespace fw::usb::test

void* operator new(std::size_t size)
{
    using namespace fw::usb::test;
    int left = g_countdown.load();
    while (left >= 0 && !g_countdown.compare_exchange_weak(left, left - 1)) {
    }
    if (left == 0) {
        g_failed = true;
        throw std::bad_alloc();
    }
    if (void* p = std::malloc(size ? size : 1))
        return p;
    throw std::bad_alloc();
}

void operator delete(void* p) noexcept
{
    std::free(p);
}

void operator delete(void* p, std::size_t) noexcept
{
    std::free(p);
}
