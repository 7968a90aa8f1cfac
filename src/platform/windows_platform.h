#pragma once

// What the Windows executable sets up before its face: built into it only.

// Puts standard output into binary mode: the header text carries its own
// carriage returns, which text mode would double.
void use_binary_standard_output();
