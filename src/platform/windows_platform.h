#pragma once

// What the Windows executable sets up before its face: built into it only.

// Sends standard output and standard error that have no handle (the
// program is a windows program, which a console does not give its own) to
// the console the program was started from, if any, and puts standard
// output into binary mode: the header text carries its own carriage
// returns, which text mode would double.
void prepare_standard_streams();
