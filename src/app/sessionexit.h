#pragma once

class CMainFrame;

// How long a message raised on the way out waits for an answer when nobody may be there to give
// one (a signal, the session ending) before the exit goes on.
inline constexpr int kUnattendedMessageMs = 10'000;

// SIGTERM, SIGHUP and SIGINT, and the session manager's request to save, run the same exit as
// File > Exit: any dialog open, ours or Qt's, is cancelled, quote windows write their data
// files, the loop ends, and the exit sequence after it saves the recent list. Each message of
// ours on the way is logged and answers itself after kUnattendedMessageMs.
void EndWithTheSession(CMainFrame& frame);

// The program's exit status: 128 + the signal's number when a signal ended it, as a shell
// reports a process the signal killed; otherwise the event loop's own.
int ExitStatusAfterSession(int loopStatus);
