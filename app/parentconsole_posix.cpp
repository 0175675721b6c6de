// A POSIX program keeps the terminal it was started from: nothing to do.
#include "parentconsole.h"

void UseParentConsole() {}
