// The package side of the engine: digits, the scan, the range choice, record
// assembly, and the progress counter's text.

#include "engine/package.h"
#include "engine/protocol.h"
#include "engine/session.h"
#include "engine_fakes.h"

#include <gtest/gtest.h>

namespace fw::test {
namespace {

TEST(HexToByte, DigitsAndEverythingElse)
{
    struct Case {
        char high, low;
        int value;
    } cases[] = {
        {'0', '0', 0x00}, {'0', '9', 0x09}, {'9', '0', 0x90}, {'A', 'F', 0xAF},
        {'F', 'F', 0xFF}, {'a', 'f', 0x00}, {'a', '5', 0x05}, {'5', 'f', 0x50},
        {'G', '1', 0x01}, {'/', ':', 0x00}, {'@', 'A', 0x0A}, {'\r', '\x01', 0x00},
    };
    for (const Case& c : cases)
        EXPECT_EQ(hexToByte(static_cast<std::uint8_t>(c.high), static_cast<std::uint8_t>(c.low)),
                  c.value)
            << c.high << c.low;
}

struct ScanCase {
    const char* name;
    std::string package;
    bool model;
    std::uint32_t value;
    int count;
    std::int32_t start1; // section start[1] (and end[0] when count is 1)
    std::optional<PackageFault> fault;
};

TEST(PackageScan, FindsModelRecordAndFirstHeader)
{
    const std::string m = modelRecord(), d = dataRecord("AB"), e = lastRecord("CD");
    const std::string h = header90("123456");
    const auto off = [](std::initializer_list<std::string> parts) {
        std::int32_t n = 0;
        for (const auto& p : parts)
            n += static_cast<std::int32_t>(p.size());
        return n;
    };
    using K = PackageFault::Kind;
    const ScanCase cases[] = {
        {"no SOH at all", "plain text\r\n", false, 0, 0, 0, {}},
        {"empty", "", false, 0, 0, 0, {}},
        {"model record, no header", m + d + e, true, 0, 0, 0, {}},
        {"model record then header", m + h + d + e, true, 0x123456, 1, off({m, h}), {}},
        {"header then model record", h + m + d + e, false, 0x123456, 1, off({h}), {}},
        {"model record after the first section", h + d + m + e, false, 0x123456, 1, off({h}), {}},
        {"lower-case digits count as 0",
         header90("0080a0") + e,
         false,
         0x008000,
         1,
         off({header90("0080a0")}),
         {}},
        {"24-bit just below the query limit",
         header90("7FFFFF") + e,
         false,
         0x7FFFFF,
         1,
         off({header90("7FFFFF")}),
         {}},
        {"24-bit at the query limit",
         header90("800000") + e,
         false,
         0x800000,
         1,
         off({header90("800000")}),
         {}},
        {"32-bit header",
         header93("0012ABCD") + e,
         false,
         0x0012ABCD,
         1,
         off({header93("0012ABCD")}),
         {}},
        {"32-bit header above the signed range",
         header93("80000000") + e,
         false,
         0x80000000u,
         1,
         off({header93("80000000")}),
         {}},
        {"32-bit header of all ones",
         header93("FFFFFFFF") + e,
         false,
         0xFFFFFFFFu,
         1,
         off({header93("FFFFFFFF")}),
         {}},
        {"header at the very end", m + d + h, true, 0x123456, 0, 0, {}},
        {"only the second header is ignored",
         h + header90("000001") + e,
         false,
         0x123456,
         1,
         off({h}),
         {}},
        {"SOH as the last byte", d + "\x01", false, 0, 0, 0, {}},
        {"SOH and '9' as the last bytes",
         d + "\x01"
             "9",
         false,
         0,
         0,
         0,
         {}},
        {"header cut by the end of the package",
         m + "\x01"
             "90XXX1234",
         true, 0, 0, 0, PackageFault{K::ShortHeader, m.size()}},
        {"32-bit header cut short",
         "\x01"
         "93XXX123456",
         false, 0, 0, 0, PackageFault{K::ShortHeader, 0}},
        {"header record shorter than its fields",
         d +
             "\x01"
             "90XX\r\n" +
             e,
         false, 0, 0, 0, PackageFault{K::ShortHeader, d.size()}},
    };
    for (const ScanCase& c : cases) {
        SCOPED_TRACE(c.name);
        const Bytes data = bytesOf(c.package);
        const ScanResult r = scanPackage(data);
        const PackageIndex& x = r.index;
        EXPECT_EQ(r.fault, c.fault);
        if (c.fault)
            continue;
        const auto len = static_cast<std::int32_t>(data.size());
        EXPECT_EQ(x.modelRecord, c.model);
        EXPECT_EQ(x.headerValue, c.value);
        EXPECT_EQ(x.sectionCount, c.count);
        EXPECT_EQ(x.sectionStart, c.count == 1 ? c.start1 : 0);
        EXPECT_EQ(x.length, len);
    }
}

// The four package shapes the range choice tells apart.
struct Shape {
    const char* name;
    std::string package;
    std::int32_t afterFirst;  // offset of the second record
    std::int32_t afterHeader; // offset of the record after the header; 0 without one
};

enum class Want { Invalid, FromStart, FromSecond, AfterHeader, EarlyEnd };

TEST(RangeChoice, EveryModelCodeAgainstEveryPackageShape)
{
    const std::string m = modelRecord(), h = header90("010000"), d = dataRecord("AB"),
                      e = lastRecord("CD");
    const auto n = [](const std::string& s) { return static_cast<std::int32_t>(s.size()); };
    const Shape shapes[] = {
        {"no model record, no header", d + d + e, n(d), 0},
        {"model record, no header", m + d + e, n(m), 0},
        {"header, no model record before it", h + m + d + e, n(h), n(h)},
        {"model record, then header", m + h + d + e, n(m), n(m) + n(h)},
        // A header with no record after it counts as none.
        {"model record, header at the very end", m + d + h, n(m), 0},
    };
    struct Row {
        std::uint8_t code;
        Want want[5];
    } rows[] = {
        {1, {Want::EarlyEnd, Want::EarlyEnd, Want::EarlyEnd, Want::EarlyEnd, Want::EarlyEnd}},
        {2, {Want::Invalid, Want::FromSecond, Want::Invalid, Want::FromSecond, Want::FromSecond}},
        {3,
         {Want::FromStart, Want::FromStart, Want::AfterHeader, Want::AfterHeader, Want::FromStart}},
        {4,
         {Want::FromStart, Want::FromStart, Want::AfterHeader, Want::AfterHeader, Want::FromStart}},
        {5, {Want::FromStart, Want::Invalid, Want::AfterHeader, Want::AfterHeader, Want::Invalid}},
        {0, {Want::FromStart, Want::Invalid, Want::AfterHeader, Want::AfterHeader, Want::Invalid}},
        {200,
         {Want::FromStart, Want::Invalid, Want::AfterHeader, Want::AfterHeader, Want::Invalid}},
    };
    for (const Row& row : rows) {
        for (std::size_t s = 0; s < std::size(shapes); ++s) {
            const Shape& shape = shapes[s];
            SCOPED_TRACE(std::string(shape.name) + ", model code " + std::to_string(row.code));
            const Bytes data = bytesOf(shape.package);
            const auto len = static_cast<std::int32_t>(data.size());
            const PackageIndex index = scanPackage(data).index;
            const RangeChoice r = chooseRange(index, row.code, data);
            switch (row.want[s]) {
            case Want::EarlyEnd: EXPECT_EQ(r.kind, RangeChoice::Kind::EarlyEnd); break;
            case Want::Invalid: EXPECT_EQ(r.kind, RangeChoice::Kind::InvalidModel); break;
            case Want::FromStart:
                EXPECT_EQ(r.kind, RangeChoice::Kind::Send);
                EXPECT_EQ(r.position, 0);
                EXPECT_EQ(r.maximum, len);
                break;
            case Want::FromSecond:
                EXPECT_EQ(r.kind, RangeChoice::Kind::Send);
                EXPECT_EQ(r.position, shape.afterFirst);
                // Not reduced by the skipped record: the end of the first section.
                EXPECT_EQ(r.maximum, shape.afterHeader ? shape.afterHeader : len);
                break;
            case Want::AfterHeader:
                EXPECT_EQ(r.kind, RangeChoice::Kind::Send);
                EXPECT_EQ(r.position, shape.afterHeader);
                EXPECT_EQ(r.maximum, len - shape.afterHeader);
                break;
            }
        }
    }
}

TEST(RangeChoice, MDL40PackageWithoutLineEndAfterItsFirstRecord)
{
    const Bytes noCr = bytesOf("\x01"
                               "97ABC");
    const RangeChoice r = chooseRange(scanPackage(noCr).index, 2, noCr);
    EXPECT_EQ(r.kind, RangeChoice::Kind::Damaged);
    EXPECT_EQ(r.fault, (PackageFault{PackageFault::Kind::NoLineEnd, 0}));
    // A CR as the last byte ends the first record; the second starts at the end.
    const Bytes crLast = bytesOf("\x01"
                                 "97ABC\r");
    const RangeChoice atEnd = chooseRange(scanPackage(crLast).index, 2, crLast);
    EXPECT_EQ(atEnd.kind, RangeChoice::Kind::Send);
    EXPECT_EQ(atEnd.position, 7);
}

TEST(RecordAssembly, RecordsEndAtTheirCarriageReturn)
{
    using K = PackageFault::Kind;
    struct Case {
        const char* name;
        std::string package;
        std::size_t position;
        std::string bytes;
        std::size_t next;
        bool endMark;
        std::optional<PackageFault> fault;
    } cases[] = {
        {"plain record",
         "\x01"
         "00AB\r\n",
         0,
         "\x01"
         "00AB",
         7,
         false,
         {}},
        {"byte after the CR is skipped unseen",
         "\x01"
         "00A\r\x01\x01"
         "00B\r\n",
         0,
         "\x01"
         "00A",
         6,
         false,
         {}},
        {"second record",
         "\x01"
         "00A\r\n\x01"
         "00B\x17\r\n",
         6,
         "\x01"
         "00B\x17",
         13,
         true,
         {}},
        {"ETB inside the record is sent",
         "\x01\x17"
         "9\r\n",
         0,
         "\x01\x17"
         "9",
         5,
         true,
         {}},
        {"record of only a CR", "\r\n\x01\r\n", 0, "", 2, false, {}},
        {"no CR before the end",
         "\x01"
         "00AB\x17",
         0, "", 0, false, PackageFault{K::NoLineEnd, 0}},
        {"CR as the package's last byte",
         "\x01"
         "00A\r\n\x01"
         "00B\x17\r",
         6,
         "\x01"
         "00B\x17",
         12,
         true,
         {}},
        {"at the end of the package",
         "\x01"
         "00A\r\n",
         6, "", 0, false, PackageFault{K::NoEndMark, 6}},
        {"past the end of the package",
         "\x01"
         "00A\r\n",
         9, "", 0, false, PackageFault{K::NoEndMark, 6}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Bytes data = bytesOf(c.package);
        const AssembledRecord r = assembleRecord(data, c.position);
        EXPECT_EQ(r.fault, c.fault);
        if (c.fault)
            continue;
        EXPECT_EQ(Bytes(r.bytes.begin(), r.bytes.end()), bytesOf(c.bytes));
        EXPECT_EQ(r.next, c.next);
        EXPECT_EQ(r.endMark, c.endMark);
    }
}

// A package damaged on every way an answer can select is found before
// anything is sent; one whole way for some answer lets the query go out.
TEST(FindDamage, OnEveryWayAnAnswerCanSelect)
{
    using K = PackageFault::Kind;
    const std::string M = modelRecord(), H = header90("010000"), D = dataRecord("11"),
                      E = lastRecord("22");
    struct Case {
        const char* name;
        std::string package;
        std::optional<PackageFault> fault;
    } cases[] = {
        {"whole package", M + H + D + E, {}},
        {"CR as the last byte",
         D + "\x01"
             "91BBB\x17\r",
         {}},
        {"records after the end mark are never read",
         D + E +
             "\x01"
             "junk",
         {}},
        {"no end mark", D + D, PackageFault{K::NoEndMark, 2 * D.size()}},
        {"last record without CR",
         D + "\x01"
             "00ZZ\x17",
         PackageFault{K::NoLineEnd, D.size()}},
        {"no CR at all",
         "\x01"
         "97ABC\x17",
         PackageFault{K::NoLineEnd, 0}},
        // The way from the section after a header (TV-K3, K20_T) and the way
        // from the second record (MDL40) are walked too.
        {"section after the end mark", D + E + H + D,
         PackageFault{K::NoEndMark, (D + E + H + D).size()}},
        // Whole from the first record (TV-K3, K20_T) and damaged after it (MDL40).
        {"end mark in the first record only",
         "\x01"
         "97A\x17\r\n" +
             D,
         {}},
        // Whole from the second record (MDL40) only.
        {"end mark in the header only",
         M +
             "\x01"
             "93XXX00010000\x17\r\n" +
             D,
         {}},
        {"damaged from the section and from the second record", M + H + D,
         PackageFault{K::NoEndMark, (M + H + D).size()}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Bytes data = bytesOf(c.package);
        const std::optional<PackageFault> f = damageOnEveryWay(data, scanPackage(data).index);
        EXPECT_EQ(f, c.fault);
    }
}

TEST(PackageFault, ReportNamesTheFaultAndItsOffset)
{
    using K = PackageFault::Kind;
    EXPECT_EQ(describe({K::ShortHeader, 120}),
              "Damaged package: the section header at offset 120 is shorter than its fields.");
    EXPECT_EQ(describe({K::NoLineEnd, 7}),
              "Damaged package: the record at offset 7 ends without its line end.");
    EXPECT_EQ(describe({K::NoEndMark, 4096}),
              "Damaged package: no end mark before the end of the package at offset 4096.");
}

} // namespace
} // namespace fw::test
