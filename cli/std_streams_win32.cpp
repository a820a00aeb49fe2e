// Windows has no broken-pipe signal (a failed write is counted by
// console.h), and a console program always gets its three standard handles.
// Standard output and error are put in binary mode: what kvctl prints (get's
// settings file with its own CRLF line ends, UTF-8 text) reaches a file or a
// pipe byte for byte, as on Linux, instead of every LF gaining a CR (a
// settings file with CR CR LF). A console gets wide text (console_text.h),
// where line ends need no CR.
#include <fcntl.h>
#include <io.h>

#include <cstdio>

#include "std_streams.h"

void PrepareStandardStreams() {
  ::_setmode(::_fileno(stdout), _O_BINARY);
  ::_setmode(::_fileno(stderr), _O_BINARY);
}

bool StdoutClosedAtStart() { return false; }
bool StderrClosedAtStart() { return false; }
