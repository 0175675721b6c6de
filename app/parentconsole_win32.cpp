// A window program on Windows has no console. Started from a command prompt,
// it borrows that prompt's console for its few lines of output; output that
// is redirected to a file or a pipe already has a handle and keeps it.
#include "parentconsole.h"

#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <cstdio>

namespace {

bool HasHandle(DWORD which) {
  const HANDLE h = GetStdHandle(which);
  return h != nullptr && h != INVALID_HANDLE_VALUE;
}

}  // namespace

void UseParentConsole() {
  const bool out = HasHandle(STD_OUTPUT_HANDLE), err = HasHandle(STD_ERROR_HANDLE);
  if (out && err) return;
  if (!AttachConsole(ATTACH_PARENT_PROCESS)) return;
  if (!out) (void)std::freopen("CONOUT$", "w", stdout);
  if (!err) (void)std::freopen("CONOUT$", "w", stderr);
}
