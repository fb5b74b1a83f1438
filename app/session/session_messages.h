#pragma once
// The texts a download ends with.

#include "package/open_step.h" // kMsgFirmwareNotOpen

namespace fw {

inline constexpr const char* kMsgDownloadSuccess = "Download Success.";
inline constexpr const char* kMsgCommunicationError = "Communication Error.";
inline constexpr const char* kMsgInvalidModel = "Invalid Printer model data";
inline constexpr const char* kMsgNoInterface =
    "No interface chosen. Choose Serial, USB or Ethernet, then press Download Start again.";

} // namespace fw
