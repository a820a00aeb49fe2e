// Windows has no broken-pipe signal (a failed write is counted by
// console.h), and a console program always gets its three standard handles.
#include "std_streams.h"

void PrepareStandardStreams() {}

bool StdoutClosedAtStart() { return false; }
bool StderrClosedAtStart() { return false; }
