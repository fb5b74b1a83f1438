#pragma once
// Runs out of memory on demand: the test binary's operator new throws
// std::bad_alloc at one chosen allocation from now.

namespace fw::usb::test {

// `succeeding` allocations succeed, then one fails; the later ones succeed.
void failAllocationAfter(int succeeding);
// Stops counting; true when the chosen allocation was reached and failed.
bool stopFailingAllocations();

} // namespace fw::usb::test
