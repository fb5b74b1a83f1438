#pragma once
// The choices a user has, as the window's lists offer them and the settings
// file stores them: the fixed list entries, the USB entries' names, how a
// stored number picks an entry and how the line settings follow from the
// entries' texts. Every front end reads a choice the same way.

#include "engine/channel.h"

#include <string>

namespace fw {

inline constexpr const char* kDefaultIpAddress = "192.168.0.10";
// The only entry of the USB list when no printer is listed.
inline constexpr const char* kNoUsbEntry = "LPT1";
// Printers are listed only up to this many; more counts as none.
inline constexpr int kMaxListedPrinters = 99;

// The fixed entries of the lists, position 0 first. The download reads the
// port number and line settings from their positions and texts.
inline constexpr const char* kPortEntries[] = {"COM1", "COM2", "COM3", "COM4", "COM5",
                                               "COM6", "COM7", "COM8", "COM9", "COM10"};
inline constexpr const char* kBaudRateEntries[] = {
    "2400 bps", "4800 bps", "9600 bps", "19200 bps", "38400 bps", "57600 bps", "115200 bps"};
inline constexpr const char* kBitLengthEntries[] = {"8 bit"};
inline constexpr const char* kParityEntries[] = {"NONE", "EVEN", "ODD"};
inline constexpr const char* kStopBitEntries[] = {"1 bit"};
inline constexpr const char* kHandShakeEntries[] = {"DTR/DSR"};

// The display name of the printer at `k` (from 1) of the library's list:
// USB001 ... USB099.
std::string usbEntryName(int k);

// The number at the start of `text` (leading blanks skipped, 0 when there is
// none), as a double.
double leadingNumber(const std::string& text);

// The whole number nearest to `v`, a half going to the even neighbour.
double roundHalfEven(double v);

// The entry a stored number picks on a list of n entries (n >= 1): the whole
// number nearest to `text`'s number, a half going to the even neighbour;
// the first entry when the number is negative or not below n. A number
// from n - 0.5 up to n, whose nearest whole number is past the end, picks
// the last entry, the one nearest to it.
int listEntryFor(const std::string& text, int n);

// The line settings from the texts of the serial lists: the leading number
// of "9600 bps", "8 bit" and "1 bit", and the first letter of "NONE".
SerialLine serialLineFromTexts(const std::string& baud, const std::string& parity,
                               const std::string& dataBits, const std::string& stopBits);

} // namespace fw
