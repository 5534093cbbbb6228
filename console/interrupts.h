// Ctrl+C and the signals that end a program, held back while an update runs: the update goes
// on, and the program ends when it has finished, as the window does. Before and after the
// update they end the program as they would any other. Each platform has its file:
// interrupts_unix.cpp (SIGINT, SIGTERM, SIGHUP), interrupts_windows.cpp (the console's
// Ctrl+C and Ctrl+Break).
#ifndef CONSOLE_INTERRUPTS_H
#define CONSOLE_INTERRUPTS_H

void hold_interrupts(bool hold);

// A reader of standard output or error that goes away (`| tee log`, ended with Ctrl+C) makes
// a write fail instead of ending the program: an update goes on to its end. Windows has no
// such signal.
void survive_closed_readers();

// What an interrupt held back says, on standard error.
const char kInterruptHeld[] = "\nThe update goes on; the program ends when it has finished.\n";

#endif
