#pragma once

#include <cstddef>
#include <string>

// What the program says on standard error when a signal ends it, given the signal's name ("SIGTERM") and how
// many unfinished files were removed.
using InterruptionMessage = std::string (*)(const char* signalName, std::size_t removedFiles);

// How the command-line tools that write files meet signals. Call first thing in main, before any thread exists: threads
// inherit the signal mask of the thread that starts them, and every one of them must have the termination signals
// blocked.
//
// - SIGINT, SIGTERM and SIGHUP are blocked in every thread and waited for by one thread of their own. When one
//   comes, that thread takes the mutex of the TemporaryFileRegistry (so no temporary file is being created or
//   renamed at that moment), removes every temporary file the run has made, says so on standard error
//   ("pelmarot-export: interrupted by SIGTERM; 2 unfinished files removed") and ends the process with status
//   128 + the signal's number while still holding the mutex. Finished files are never touched. A signal the
//   caller ignores (nohup ignores SIGHUP) stays ignored.
// - SIGXFSZ is ignored, so that a write past the file-size limit fails with EFBIG and becomes the failure of
//   that file instead of killing the program.
void installTerminationSignalHandling(InterruptionMessage message);
