#pragma once

class QString;

// The report of an error that ends the program: a line on standard error and
// a message box titled "Velmora". Returns once the box is closed.
void reportFatalError(const QString& message);

// Makes an exception that nothing catches end the program with one line on
// standard error, "out of memory" or what the exception says, and exit
// status 1: at once, without unwinding, and without asking for memory.
void endOnUncaughtException();
