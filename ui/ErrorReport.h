#pragma once

class QString;

// The report of an error that ends the program: a line on standard error and
// a message box titled "Velmora". Returns once the box is closed.
void reportFatalError(const QString& message);
