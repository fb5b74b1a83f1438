// firmware-cli inspect: what the engine sees in a package and what a download
// would send for each model answer. Touches no device.
#include "cli/cli.h"
#include "cli/json.h"
#include "cli/sha256.h"
#include "engine/package.h"
#include "engine/package_file.h"
#include "engine/protocol.h"
#include "engine/session.h"

#include <algorithm>
#include <filesystem>

namespace fw {

namespace {

struct RecordStats {
    std::size_t count = 0, smallest = 0, largest = 0, bytes = 0;
    std::optional<std::size_t> endMarkRecord; // offset of the record with the ETB
};

// The records from the package's start to the one with the end mark.
RecordStats recordStats(std::span<const std::uint8_t> data)
{
    RecordStats s;
    for (std::size_t at = 0;;) {
        const AssembledRecord r = assembleRecord(data, at);
        if (r.fault)
            return s;
        const std::size_t n = r.bytes.size();
        s.smallest = s.count == 0 ? n : std::min(s.smallest, n);
        s.largest = std::max(s.largest, n);
        s.bytes += n;
        ++s.count;
        if (r.endMark) {
            s.endMarkRecord = at;
            return s;
        }
        at = r.next;
    }
}

// The plan's result in the JSON: one code each.
const char* kindCode(RangeChoice::Kind kind)
{
    switch (kind) {
    case RangeChoice::Kind::Send: return "send";
    case RangeChoice::Kind::InvalidModel: return "invalid-model";
    case RangeChoice::Kind::EarlyEnd: return "query-failed";
    case RangeChoice::Kind::Damaged: return "damaged";
    }
    return "";
}

// The same for a person.
const char* kindText(RangeChoice::Kind kind)
{
    switch (kind) {
    case RangeChoice::Kind::Send: return "send";
    case RangeChoice::Kind::InvalidModel: return kMsgInvalidModel;
    case RangeChoice::Kind::EarlyEnd: return "query failed";
    case RangeChoice::Kind::Damaged: return "damaged";
    }
    return "";
}

std::string hex(std::uint32_t value, int digits)
{
    char buf[16];
    std::snprintf(buf, sizeof buf, "%0*X", digits, static_cast<unsigned>(value));
    return buf;
}

// The first record from `position` to the end mark over 256 bytes: the USB
// library refuses it and nothing of it is sent.
std::optional<AssembledRecord> firstOverUsbLimit(std::span<const std::uint8_t> data,
                                                 std::size_t position, std::size_t& offset)
{
    constexpr std::size_t kUsbLimit = 256;
    for (std::size_t at = position;;) {
        const AssembledRecord r = assembleRecord(data, at);
        if (r.fault)
            return std::nullopt;
        if (r.bytes.size() > kUsbLimit) {
            offset = at;
            return r;
        }
        if (r.endMark)
            return std::nullopt;
        at = r.next;
    }
}

} // namespace

std::optional<std::string> notAPackage(std::span<const std::uint8_t> data)
{
    for (std::size_t at = 0;;) {
        const AssembledRecord r = assembleRecord(data, at);
        if (r.fault)
            return std::nullopt; // damaged, which the session reports itself
        // A type is two digits or capitals: "97", "90", "F1".
        const auto digit = [&](std::size_t k) {
            return r.bytes.size() > k && ((r.bytes[k] >= '0' && r.bytes[k] <= '9') ||
                                          (r.bytes[k] >= 'A' && r.bytes[k] <= 'Z'));
        };
        if (r.bytes.empty() || r.bytes[0] != 0x01 || !digit(1) || !digit(2))
            return "the file does not look like a package: the record at offset " +
                   std::to_string(at) + " does not start with SOH and a two-character type";
        if (r.endMark)
            return std::nullopt;
        at = r.next;
    }
}

int runInspect(const InspectOptions& options, std::FILE* out)
{
    const std::string* path = &options.package;
    const CommonOptions& common = options.common;

    // Read as a session reads it, with the same checks.
    FilePackageReader reader;
    std::vector<std::uint8_t> data;
    if (const Result<> r = readWholePackage(reader, *path, data); !r.ok()) {
        sayError(r.error());
        if (common.json) {
            Json o;
            o["package"] = *path;
            o["outcome"] = kMsgFirmwareNotOpen;
            return writeResult(out, jsonText(o), kExitNotOpen);
        }
        return writeResult(out, kMsgFirmwareNotOpen, kExitNotOpen);
    }

    const ScanResult scan = scanPackage(data);
    std::optional<PackageFault> damage = scan.fault;
    if (!damage)
        damage = damageOnEveryWay(data, scan.index);
    const PackageIndex& x = scan.index;
    const RecordStats stats = recordStats(data);
    const bool header = x.headerOffset >= 0;
    const std::string headerType =
        header ? std::string(1, '9') +
                     static_cast<char>(data[static_cast<std::size_t>(x.headerOffset) + 2])
               : "";
    const bool query = x.headerValue < kNoQueryHeaderValue;
    const std::string name = std::filesystem::path(*path).filename().string();

    struct Answer {
        const char* name;
        std::uint8_t code;
    };
    std::vector<Answer> answers;
    const ChannelKind view = options.view.value_or(ChannelKind::Serial);
    for (const std::uint8_t code : {kModelMDL40, kModelTVK3, kModelK20T, kModelUnknown})
        // A print path's answer is always K20_T.
        if (view != ChannelKind::Network || code == kModelK20T)
            answers.push_back({modelName(code), code});
    const char* viewName = view == ChannelKind::Usb       ? "usb"
                           : view == ChannelKind::Network ? "network"
                                                          : "serial";
    std::size_t afterEnd = 0;
    if (stats.endMarkRecord)
        afterEnd = data.size() - assembleRecord(data, *stats.endMarkRecord).next;
    const std::optional<std::string> warning = notAPackage(data);
    // USB: the record of the plan the library would refuse.
    const auto refused = [&](const TransferPlan& p, std::size_t& offset) {
        return view == ChannelKind::Usb && p.kind == RangeChoice::Kind::Send && !p.fault
                   ? firstOverUsbLimit(data, static_cast<std::size_t>(p.position), offset)
                   : std::nullopt;
    };

    if (common.json) {
        Json plans = Json::array();
        for (const Answer& a : answers) {
            const TransferPlan p = planTransfer(data, x, a.code);
            Json o;
            o["answer"] = a.name;
            o["modelCode"] = static_cast<int>(a.code);
            o["query"] = p.query;
            o["result"] = damage || p.fault ? "damaged" : kindCode(p.kind);
            if (!damage && !p.fault && p.kind == RangeChoice::Kind::Send) {
                o["start"] = p.position;
                o["maximum"] = p.maximum;
                o["records"] = p.records;
                o["bytes"] = p.bytes;
                if (view == ChannelKind::Usb) {
                    std::size_t offset = 0;
                    const auto r = refused(p, offset);
                    o["usbRefusedRecord"] =
                        r ? Json{{"offset", offset}, {"bytes", r->bytes.size()}} : Json(nullptr);
                }
            }
            plans.push_back(std::move(o));
        }
        Json o;
        o["package"] = *path;
        o["view"] = viewName;
        o["sha256"] = sha256Hex(data);
        o["size"] = data.size();
        o["type"] = packageType(name);
        o["modelRecord"] = x.modelRecord;
        if (header) {
            Json h;
            h["type"] = headerType;
            h["value"] = x.headerValue;
            h["offset"] = x.headerOffset;
            h["sectionStart"] = x.sectionStart;
            o["header"] = std::move(h);
        } else {
            o["header"] = nullptr;
        }
        Json records;
        records["count"] = stats.count;
        records["smallest"] = stats.smallest;
        records["largest"] = stats.largest;
        records["bytes"] = stats.bytes;
        o["records"] = std::move(records);
        o["endMarkRecord"] = stats.endMarkRecord ? Json(*stats.endMarkRecord) : Json(nullptr);
        o["bytesAfterEndMark"] = afterEnd;
        o["warning"] = jsonOptional(warning);
        if (damage) {
            Json d;
            d["text"] = describe(*damage);
            d["offset"] = damage->offset;
            o["damage"] = std::move(d);
        } else {
            o["damage"] = nullptr;
        }
        o["queryNeeded"] = query;
        o["answers"] = std::move(plans);
        return writeResult(out, jsonText(o), damage ? kExitDamaged : kExitSuccess);
    }

    std::fprintf(out, "Package:      %s\n", path->c_str());
    std::fprintf(out, "Size:         %zu bytes\n", data.size());
    std::fprintf(out, "SHA-256:      %s\n", sha256Hex(data).c_str());
    std::fprintf(out, "Type:         %s\n", packageType(name).c_str());
    std::fprintf(out, "Model record: %s\n", x.modelRecord ? "yes" : "no");
    if (header)
        std::fprintf(
            out,
            "Header:       \"%s\" at offset %d, value 0x%s (%u); its section starts at offset %d\n",
            headerType.c_str(), x.headerOffset,
            hex(x.headerValue, headerType == "93" ? 8 : 6).c_str(),
            static_cast<unsigned>(x.headerValue), x.sectionStart);
    else
        std::fprintf(out, "Header:       none\n");
    std::fprintf(
        out, "Records:      %zu up to the end mark, %zu to %zu bytes each, %zu bytes on the wire\n",
        stats.count, stats.smallest, stats.largest, stats.bytes);
    if (stats.endMarkRecord)
        std::fprintf(out, "End mark:     in the record at offset %zu\n", *stats.endMarkRecord);
    else
        std::fprintf(out, "End mark:     none\n");
    if (afterEnd > 0)
        std::fprintf(out, "After it:     %zu bytes, never sent\n", afterEnd);
    std::fprintf(out, "Download:     %s\n",
                 view == ChannelKind::Usb       ? "over USB"
                 : view == ChannelKind::Network ? "to a network print path (the answer is K20_T)"
                                                : "over a serial port");
    if (warning)
        std::fprintf(out, "Warning:      %s; download sends it only with --force\n",
                     warning->c_str());
    if (damage)
        return writeResult(out, describe(*damage), kExitDamaged);
    std::fprintf(out, "Model query:  %s\n",
                 query ? "sent; the printer's answer decides where sending starts"
                       : "not sent (header value 0x800000 or more): the whole package goes");
    for (const Answer& a : answers) {
        const TransferPlan p = planTransfer(data, x, a.code);
        if (!query && a.code != answers.front().code)
            continue; // every answer is the same without a query
        const std::string who =
            query ? std::string("Answer ") + a.name + ":" : std::string("Any printer:");
        if (p.fault)
            std::fprintf(out, "  %-15s %s\n", who.c_str(), describe(*p.fault).c_str());
        else if (p.kind == RangeChoice::Kind::Send) {
            std::fprintf(out, "  %-15s from offset %d, progress to %d, %zu records, %zu bytes\n",
                         who.c_str(), p.position, p.maximum, p.records, p.bytes);
            std::size_t offset = 0;
            if (const auto r = refused(p, offset))
                std::fprintf(out,
                             "  %-15s the USB library refuses the record at offset %zu (%zu "
                             "bytes, over 256)\n",
                             "", offset, r->bytes.size());
        } else
            std::fprintf(out, "  %-15s %s\n", who.c_str(), kindText(p.kind));
    }
    return writeResult(out, "", kExitSuccess);
}

} // namespace fw
