// The network print path on Linux: one SMB print job to the share lp1, as a
// guest, through libsmbclient.

#include "session/network_sink.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <libsmbclient.h>

namespace fw {

namespace {

// Connection and answer time-outs; an unreachable host that drops packets
// may still take a few seconds more at open.
constexpr int kTimeoutMs = 3000;

std::string reason(int error) {
    if (error == 0) return "the print server refused it without a reason";
    std::string text = std::strerror(error);
    if (error == ECONNREFUSED) text += " (no print server answers at this address)";
    else if (error == ENOENT) text += " (the host has no printer share lp1)";
    else if (error == EINVAL) text += " (the host name cannot be resolved)";
    else if (error == ETIMEDOUT) text += " (the print server did not answer in time)";
    else if (error == EACCES || error == EPERM) text += " (the printer share refuses guests)";
    return text;
}

void guestLogin(SMBCCTX*, const char*, const char*, char* workgroup, int workgroupLen, char* user, int userLen,
                char* password, int passwordLen) {
    if (workgroupLen > 0) workgroup[0] = '\0';
    if (userLen > 0) user[0] = '\0';
    if (passwordLen > 0) password[0] = '\0';
}

class SmbPrintJob final : public NetworkSink {
public:
    ~SmbPrintJob() override { close(); }

    std::string open(const std::string&, const NetworkAddress& address) override {
        close();
        SMBCCTX* ctx = smbc_new_context();
        if (!ctx) return reason(errno);
        smbc_setDebug(ctx, 0);
        smbc_setTimeout(ctx, kTimeoutMs);
        smbc_setOptionUseKerberos(ctx, 0);
        smbc_setOptionFallbackAfterKerberos(ctx, 1);
        smbc_setFunctionAuthDataWithContext(ctx, guestLogin);
        if (!smbc_init_context(ctx)) {
            const int e = errno;
            smbc_free_context(ctx, 1);
            return reason(e);
        }
        std::string url = "smb://" + address.host;
        if (address.port) url += ":" + std::to_string(address.port);
        url += "/lp1";
        errno = 0;
        SMBCFILE* file = smbc_getFunctionOpen(ctx)(ctx, url.c_str(), O_WRONLY, 0);
        if (!file) {
            const int e = errno;
            smbc_free_context(ctx, 1);
            return reason(e);
        }
        ctx_ = ctx;
        file_ = file;
        return {};
    }

    std::string write(std::span<const std::uint8_t> bytes) override {
        if (!file_) return "it is not open";
        std::size_t done = 0;
        while (done < bytes.size()) {
            errno = 0;
            const ssize_t n = smbc_getFunctionWrite(ctx_)(ctx_, file_, bytes.data() + done, bytes.size() - done);
            if (n <= 0) return reason(errno);
            done += static_cast<std::size_t>(n);
        }
        return {};
    }

    std::string close() override {
        if (!ctx_) return {};
        std::string why;
        errno = 0;
        if (file_ && smbc_getFunctionClose(ctx_)(ctx_, file_) != 0) why = reason(errno);
        smbc_free_context(ctx_, 1);
        ctx_ = nullptr;
        file_ = nullptr;
        return why;
    }

    bool isOpen() const override { return file_ != nullptr; }

private:
    SMBCCTX* ctx_ = nullptr;
    SMBCFILE* file_ = nullptr;
};

} // namespace

std::unique_ptr<NetworkSink> makeNetworkSink() { return std::make_unique<SmbPrintJob>(); }

} // namespace fw
