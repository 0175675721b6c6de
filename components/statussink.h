// Where a window's status texts go: the first panel of the main window's
// status bar.
#pragma once

#include <QString>

class StatusSink {
 public:
  virtual ~StatusSink() = default;

  // A message in the first status panel that is cleared 5 seconds after the
  // first message written while none was pending.
  virtual void ShowStatus(const QString& text) = 0;
};
