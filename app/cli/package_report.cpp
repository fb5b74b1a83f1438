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

} // namespace

int runInspect(Arguments args, std::FILE* out)
{
    std::optional<std::string> path;
    CommonOptions common;
    while (!args.done()) {
        const std::string& a = args.next();
        if (a == "--json")
            common.json = true;
        else if (a == "--verbose" || a == "--quiet")
            continue;
        else if (!a.starts_with("--") && !path)
            path = a;
        else
            return usageError("inspect takes one package and --json, not '" + a + "'");
    }
    if (!path)
        return usageError("inspect needs a package file");

    // Read as a session reads it.
    FilePackageReader reader;
    std::int64_t length = 0;
    std::vector<std::uint8_t> data;
    Result r = reader.open(*path);
    if (r.ok())
        r = reader.length(length);
    if (r.ok() && length > 0) {
        data.resize(static_cast<std::size_t>(length));
        r = reader.read(data);
    }
    reader.close();
    if (!r.ok() || length <= 0) {
        std::fprintf(stderr, "firmware-cli: %s\n",
                     r.ok() ? "the package file is empty" : r.error().c_str());
        if (common.json)
            std::fprintf(out, "%s\n",
                         JsonObject()
                             .add("package", *path)
                             .add("outcome", kMsgFirmwareNotOpen)
                             .text()
                             .c_str());
        else
            std::fprintf(out, "%s\n", kMsgFirmwareNotOpen);
        return kExitNotOpen;
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
    } const answers[] = {{"MDL40", kModelMDL40},
                         {"TV-K3", kModelTVK3},
                         {"K20_T", kModelK20T},
                         {"none", kModelUnknown}};

    if (common.json) {
        std::string plans;
        for (const Answer& a : answers) {
            const TransferPlan p = planTransfer(data, x, a.code);
            JsonObject o;
            o.add("answer", a.name)
                .add("modelCode", static_cast<int>(a.code))
                .add("query", p.query);
            o.add("result", damage || p.fault ? "damaged" : kindText(p.kind));
            if (!damage && !p.fault && p.kind == RangeChoice::Kind::Send)
                o.add("start", static_cast<std::int64_t>(p.position))
                    .add("maximum", static_cast<std::int64_t>(p.maximum))
                    .add("records", p.records)
                    .add("bytes", p.bytes);
            plans += (plans.empty() ? "" : ",") + o.text();
        }
        JsonObject headerJson;
        if (header)
            headerJson.add("type", headerType)
                .add("value", static_cast<std::int64_t>(x.headerValue))
                .add("offset", static_cast<std::int64_t>(x.headerOffset))
                .add("sectionStart", static_cast<std::int64_t>(x.sectionStart));
        JsonObject records;
        records.add("count", stats.count)
            .add("smallest", stats.smallest)
            .add("largest", stats.largest);
        records.add("bytes", stats.bytes);
        JsonObject o;
        o.add("package", *path).add("sha256", sha256Hex(data)).add("size", data.size());
        o.add("type", packageType(name)).add("modelRecord", x.modelRecord);
        if (header)
            o.add("header", headerJson);
        else
            o.addNull("header");
        o.add("records", records);
        if (stats.endMarkRecord)
            o.add("endMarkRecord", *stats.endMarkRecord);
        else
            o.addNull("endMarkRecord");
        if (damage)
            o.add("damage",
                  JsonObject().add("text", describe(*damage)).add("offset", damage->offset));
        else
            o.addNull("damage");
        o.add("queryNeeded", query).addArray("answers", plans);
        std::fprintf(out, "%s\n", o.text().c_str());
        return damage ? kExitDamaged : kExitSuccess;
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
    if (damage) {
        std::fprintf(out, "Damage:       %s\n", describe(*damage).c_str());
        std::fprintf(out, "%s\n", describe(*damage).c_str());
        return kExitDamaged;
    }
    std::fprintf(out, "Model query:  %s\n",
                 query ? "sent; the printer's answer decides where sending starts"
                       : "not sent (header value 0x800000 or more): the whole package goes");
    for (const Answer& a : answers) {
        const TransferPlan p = planTransfer(data, x, a.code);
        if (!query && a.code != kModelMDL40)
            continue; // every answer is the same without a query
        const std::string who =
            query ? std::string("Answer ") + a.name + ":" : std::string("Any printer:");
        if (p.fault)
            std::fprintf(out, "  %-15s %s\n", who.c_str(), describe(*p.fault).c_str());
        else if (p.kind == RangeChoice::Kind::Send)
            std::fprintf(out, "  %-15s from offset %d, progress to %d, %zu records, %zu bytes\n",
                         who.c_str(), p.position, p.maximum, p.records, p.bytes);
        else
            std::fprintf(out, "  %-15s %s\n", who.c_str(), kindText(p.kind));
    }
    return kExitSuccess;
}

} // namespace fw
