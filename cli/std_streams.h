// The three standard streams as kvctl finds them at start.
//
// A descriptor among 0 to 2 that is closed at start is opened on the null
// device before anything else is opened, so that no file kvctl opens later
// (the audit log, a port, a backup) takes its number and receives the
// progress text. A broken pipe is ignored: a reader that went away (`| head`)
// makes writes fail, which console.h counts as lost output, instead of
// ending kvctl in the middle of a write to a tracker.
//
// Thread contract: PrepareStandardStreams on the main thread, first thing in
// main; the queries from any thread afterwards.
#pragma once

void PrepareStandardStreams();

// True when standard output was closed at start (and now goes to the null
// device): nothing kvctl prints there reaches anyone.
bool StdoutClosedAtStart();
// The same for standard error: no warning or refusal reaches anyone.
bool StderrClosedAtStart();
