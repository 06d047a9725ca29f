#pragma once

// What a command-line program needs to know about the terminal it writes to.
namespace Terminal {

// True when standard error is a terminal, where progress can be redrawn in place.
bool standardErrorIsTerminal();

// The width of that terminal in columns; 0 when it is not a terminal or does not say.
int standardErrorColumns();

} // namespace Terminal
