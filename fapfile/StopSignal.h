// Stopping a run that writes an output on SIGINT, SIGTERM or SIGHUP without leaving any
// of it behind. The handlers only note the signal; the work loop asks stopRequested() and
// returns as from a failure, so OutputFile (and the like) remove their temporaries as
// they are destroyed; then endIfStopped() ends the process the way the signal would have,
// so a shell or a script sees it killed by that signal.
#pragma once

// Installs the handlers (without SA_RESTART). Call once, before the work starts.
void catchStopSignals();

// True once one of the signals has arrived. Safe from any thread.
bool stopRequested();

// When a signal has arrived: restores its default action and raises it, which ends the
// process. Otherwise returns at once.
void endIfStopped();
