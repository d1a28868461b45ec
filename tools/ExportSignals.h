#pragma once

// How pelmarot-export meets signals. Call first thing in main, before any thread exists: threads inherit the
// signal mask of the thread that starts them, and every one of them must have the termination signals blocked.
//
// - SIGINT, SIGTERM and SIGHUP are blocked in every thread and waited for by one thread of their own. When one
//   comes, that thread takes the mutex of the TemporaryFileRegistry (so no temporary file is being created or
//   renamed at that moment), removes every temporary file the run has made, says so on standard error
//   ("pelmarot-export: interrupted by SIGTERM; 2 unfinished files removed") and ends the process with status
//   128 + the signal's number while still holding the mutex. Finished files are never touched. A signal the
//   caller ignores (nohup ignores SIGHUP) stays ignored.
// - SIGXFSZ is ignored, so that a write past the file-size limit fails with EFBIG and becomes the failure of
//   that doctor's file instead of killing the program.
void installExportSignalHandling();
