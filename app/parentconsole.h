// Standard output for --help and --version. On Windows the program is a
// window program and starts without a console; started from one, it writes
// its answer there.
#pragma once

// Connects standard output and standard error to the console of the process
// that started this one, where there is such a console and the program has
// none of its own; does nothing elsewhere.
void UseParentConsole();
