#pragma once
// Synthetic sample packages in the record format the printer takes: SOH, two
// type characters, content without CR, CR and one more byte; the last record
// carries the end mark ETB before its CR. Nothing here comes from a real
// printer's firmware: the content is generated.

#include <cstdint>
#include <string>
#include <vector>

namespace fw::samples {

using Bytes = std::vector<std::uint8_t>;

enum class Shape {
    Plain,         // no model record, no section header
    ModelOnly,     // a "97" model record first
    Header90,      // a "90" section header (24-bit value)
    ModelHeader93, // a "97" model record, then a "93" section header (32-bit value)
};

struct Package {
    std::string name; // file name, e.g. "FONT_90.DPX"
    Bytes bytes;
};

// Builds one package of `dataRecords` data records of `recordLength` content
// bytes each. `headerValue` is written into the section header's digits.
Package make(Shape shape, bool font, int dataRecords = 40, int recordLength = 72,
             std::uint32_t headerValue = 0x010000);

// The packages shipped in K20T: a firmware and a font package of each shape,
// and a large firmware package of about 4 MiB.
std::vector<Package> shipped();

// Damaged packages, for tests only.
std::vector<Package> damaged();

// The records a printer must receive when sending starts at `offset`: each
// from its SOH up to, not including, its CR, up to the record with ETB.
std::vector<Bytes> recordsFrom(const Bytes& package, std::size_t offset);

// Offset of the record after the section header (where sending starts for a
// package with a header and a printer answering "TV-K3" or "K20_T").
std::size_t offsetAfterHeader(const Bytes& package);

} // namespace fw::samples
