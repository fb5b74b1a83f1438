#pragma once
// The terminal as the command line meets it: where results go, whether a
// stream is a terminal, and Ctrl+C.

#include <cstdio>
#include <string>
#include <vector>

namespace fw {

// Keeps standard output for the command's own results. TAVLIB writes its
// diagnostic lines to standard output by design: from here on they go to
// standard error when `libraryLinesToStderr`, and nowhere otherwise. Gives
// the stream the results are written to.
std::FILE* takeResultsOutput(bool libraryLinesToStderr);

bool isTerminal(std::FILE* stream);

// The width of the terminal `stream` writes to, read anew at each call (so a
// resized window is met at the next redraw); 80 when it cannot be told.
int terminalColumns(std::FILE* stream);

// The height of that terminal in lines; 24 when it cannot be told.
int terminalRows(std::FILE* stream);

// Sets up the console: UTF-8 output on Windows; on Linux a reader of
// standard output that goes away fails the write instead of ending the
// program.
void startSystem(int& argc, char** argv);

// The command's arguments as UTF-8 text.
std::vector<std::string> commandArguments(int argc, char** argv);

// Ctrl+C, termination requests and the terminal closing (SIGHUP; the
// console window on Windows). The first one is noted and the session ends at
// its next look, releasing its channel; a second one ends the program at
// once. Also keeps a reader that goes away from ending the program.
void catchInterrupts();
bool interrupted();
// The first request was the terminal closing.
bool hungUp();
// Instead of catchInterrupts(), for a program that passes each request on
// to programs of its own: every request is only counted, and none ends the
// program at once.
void countInterrupts();
int interruptCount();
// A request as Ctrl+C makes it, from within the program (the first one is
// noted, a second one ends the program at once, unless held).
void requestEnd();
// While held (a hand-over the printer may already hold), no request ends the
// program: each says so on standard error instead.
void holdInterrupts(bool hold);

// What standard error says of a request while interrupts are held.
inline constexpr const char* kCannotStopNow =
    "the print server already holds the job: waiting for it to confirm it; the download cannot "
    "be stopped now";

} // namespace fw
