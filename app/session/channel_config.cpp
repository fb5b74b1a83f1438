#include "session/channel_config.h"

#include <cmath>
#include <cstdio>

namespace fw {

namespace {

bool isDigit(char c) { return c >= '0' && c <= '9'; }

// The number the text starts with, as a plain integer: leading blanks, a sign,
// digits and a decimal part are read; reading stops at the first character
// that cannot continue the number. No number gives 0.
std::string leadingNumber(const std::string& text)
{
    std::size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t'))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    double value = 0;
    for (; i < text.size() && isDigit(text[i]); ++i)
        value = value * 10 + (text[i] - '0');
    if (i < text.size() && text[i] == '.') {
        double scale = 0.1;
        for (++i; i < text.size() && isDigit(text[i]); ++i, scale /= 10)
            value += (text[i] - '0') * scale;
    }
    // Halves go to the even neighbour, as the platform's own rounding does.
    value = std::nearbyint(negative ? -value : value);
    char out[32];
    std::snprintf(out, sizeof out, "%.0f", value == 0 ? 0.0 : value);
    return out;
}

} // namespace

std::string serialSettingsString(const std::string& baud, const std::string& parity,
                                 const std::string& dataBits, const std::string& stopBits)
{
    return leadingNumber(baud) + "," + parity.substr(0, 1) + "," + leadingNumber(dataBits) + "," +
           leadingNumber(stopBits);
}

ChannelConfig channelConfigFromWindow(const Toolkit& ui, const FormState& state)
{
    ChannelConfig c;
    c.portNumber = ui.listIndex(Ctl::cboPORT) + 1;
    c.settings = serialSettingsString(ui.listText(Ctl::cboBaudRate), ui.listText(Ctl::cboParity),
                                      ui.listText(Ctl::cboBitLength), ui.listText(Ctl::cboStopBit));
    c.device = state.strDevice.substr(0, state.strDevice.find('\0'));
    c.address = ui.text(Ctl::TextEthernet);
    return c;
}

} // namespace fw
