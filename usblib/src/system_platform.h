#pragma once
// The platform of the system the library is built for.

#include "platform.h"

namespace fw::usb {

Platform& systemPlatform();

} // namespace fw::usb
