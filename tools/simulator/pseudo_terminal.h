#pragma once
// A pseudo-terminal whose slave plays a serial port: the simulator serves the
// master, the program opens the slave by its path.

#include <string>

namespace fw::sim {

class PseudoTerminal {
public:
    // `rawSlave` puts the slave in raw mode at once, for programs that do not
    // set up the line themselves. Tests leave it off so the port under test
    // has to do it. The master is never touched: it shares the slave's modes.
    explicit PseudoTerminal(bool rawSlave = false);
    ~PseudoTerminal();
    PseudoTerminal(const PseudoTerminal&) = delete;
    PseudoTerminal& operator=(const PseudoTerminal&) = delete;

    bool ok() const { return master_ >= 0; }
    const std::string& error() const { return error_; }
    int master() const { return master_; }
    const std::string& slavePath() const { return slavePath_; }

    // Makes `folder`/ports/COM<n> point at the slave, replacing an older link.
    bool linkAsCom(const std::string& folder, int n, std::string& why);

private:
    int master_ = -1;
    int slaveKeep_ = -1; // held so the master sees no hang-up between opens
    std::string slavePath_;
    std::string error_;
    std::string link_;
};

} // namespace fw::sim
