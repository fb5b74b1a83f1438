#pragma once
// One download, from the press of "Download Start" to its outcome box.

#include "session/clock.h"
#include "session/download_channel.h"
#include "session/package_reader.h"
#include "window/form_state.h"
#include "window/toolkit.h"

#include <functional>
#include <memory>

namespace fw {

class DownloadSession {
public:
    // `openStep` runs the Open step as the File menu does. `reader` reads the
    // package; without one the package is read from disk.
    DownloadSession(Toolkit& ui, FormState& state, ChannelSet& channels, Clock& clock,
                    std::function<void()> openStep, PackageReader* reader = nullptr);
    ~DownloadSession();
    DownloadSession(const DownloadSession&) = delete;
    DownloadSession& operator=(const DownloadSession&) = delete;

    // The click of cmdSTART. Does nothing while a session is already running.
    void run();

private:
    Toolkit& ui_;
    FormState& state_;
    ChannelSet& channels_;
    Clock& clock_;
    std::function<void()> openStep_;
    std::unique_ptr<PackageReader> ownReader_;
    PackageReader& reader_;
};

} // namespace fw
