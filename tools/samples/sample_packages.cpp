#include "sample_packages.h"

#include <cstdio>

namespace fw::samples {

namespace {

constexpr std::uint8_t SOH = 0x01, ETB = 0x17, CR = 0x0D, LF = 0x0A;

void record(Bytes& out, const std::string& type, const std::string& content, bool last = false)
{
    out.push_back(SOH);
    out.insert(out.end(), type.begin(), type.end());
    out.insert(out.end(), content.begin(), content.end());
    if (last)
        out.push_back(ETB);
    out.push_back(CR);
    out.push_back(LF);
}

std::string hex(std::uint32_t v, int digits)
{
    char buf[16];
    std::snprintf(buf, sizeof buf, "%0*X", digits, v);
    return buf;
}

// Data records: an address and a run of hex digits from a simple generator,
// so every package is distinct and reproducible.
std::string dataContent(std::uint32_t address, int length, std::uint32_t& seed)
{
    std::string s = hex(address & 0xFFFFFF, 6);
    while (static_cast<int>(s.size()) < length) {
        seed = seed * 1664525u + 1013904223u;
        s += "0123456789ABCDEF"[(seed >> 24) & 0xF];
    }
    return s;
}

} // namespace

Package make(Shape shape, bool font, int dataRecords, int recordLength, std::uint32_t headerValue)
{
    Package p;
    const char* kind = font ? "FONT" : "FIRMWARE";
    switch (shape) {
    case Shape::Plain: p.name = std::string(kind) + "_PLAIN.DPX"; break;
    case Shape::ModelOnly: p.name = std::string(kind) + "_MODEL.DPX"; break;
    case Shape::Header90: p.name = std::string(kind) + "_90.DPX"; break;
    case Shape::ModelHeader93: p.name = std::string(kind) + "_MODEL_93.DPX"; break;
    }
    Bytes& b = p.bytes;
    std::uint32_t seed = (font ? 0xF0u : 0x0Fu) + static_cast<std::uint32_t>(shape) * 7u;

    if (shape == Shape::ModelOnly || shape == Shape::ModelHeader93)
        record(b, "97", font ? "Q5 FONT PACKAGE" : "Q5 FIRMWARE PACKAGE");
    if (shape == Shape::Header90) // digits at offsets 6 to 11
        record(b, "90", "SEC" + hex(headerValue & 0xFFFFFF, 6) + "00");
    if (shape == Shape::ModelHeader93) // digits at offsets 6 to 13
        record(b, "93", "SEC" + hex(headerValue, 8) + "00");

    for (int i = 0; i < dataRecords; ++i) {
        const bool last = i == dataRecords - 1;
        record(b, font ? "F1" : "31",
               dataContent(static_cast<std::uint32_t>(i) * 32u, recordLength, seed), last);
    }
    return p;
}

std::vector<Package> shipped()
{
    std::vector<Package> out;
    for (Shape s : {Shape::Plain, Shape::ModelOnly, Shape::Header90, Shape::ModelHeader93})
        for (bool font : {false, true})
            out.push_back(make(s, font));
    // About 4 MiB: 30,000 records of 140 bytes.
    Package large = make(Shape::Plain, false, 30000, 136);
    large.name = "FIRMWARE_LARGE.DPX";
    out.push_back(std::move(large));
    return out;
}

std::vector<Package> damaged()
{
    std::vector<Package> out;
    {
        Package p = make(Shape::Plain, false, 5);
        p.name = "DAMAGED_NO_END_MARK.DPX";
        // Drop the ETB of the last record.
        for (std::size_t i = p.bytes.size(); i-- > 0;)
            if (p.bytes[i] == ETB) {
                p.bytes.erase(p.bytes.begin() + static_cast<std::ptrdiff_t>(i));
                break;
            }
        out.push_back(std::move(p));
    }
    {
        Package p = make(Shape::Plain, false, 5);
        p.name = "DAMAGED_NO_CR.DPX";
        // The last record loses its ETB, CR and the byte after.
        p.bytes.resize(p.bytes.size() - 3);
        out.push_back(std::move(p));
    }
    {
        Package p;
        p.name = "DAMAGED_SHORT_HEADER.DPX";
        const std::string header = "\x01"
                                   "90SE"; // ends before its digits
        p.bytes.assign(header.begin(), header.end());
        out.push_back(std::move(p));
    }
    return out;
}

std::vector<Bytes> recordsFrom(const Bytes& package, std::size_t offset)
{
    std::vector<Bytes> out;
    std::size_t i = offset;
    while (i < package.size()) {
        Bytes r;
        bool end = false;
        while (i < package.size() && package[i] != CR) {
            end = end || package[i] == ETB;
            r.push_back(package[i++]);
        }
        i += 2;
        out.push_back(std::move(r));
        if (end)
            break;
    }
    return out;
}

std::size_t offsetAfterHeader(const Bytes& package)
{
    bool header = false;
    for (std::size_t i = 0; i + 2 < package.size(); ++i) {
        if (package[i] != SOH)
            continue;
        if (header)
            return i;
        header = package[i + 1] == '9' && (package[i + 2] == '0' || package[i + 2] == '3');
    }
    return 0;
}

} // namespace fw::samples
