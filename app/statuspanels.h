// The status bar's three panels (messages, volume label, state) and the
// timer that clears the first one.
#pragma once

#include <QString>

#include <cstdint>

#include "maincontext.h"

class QLabel;
class QTimer;
class QObject;
class TDataModule1;

class TStatusPanels : public MainStatus {
 public:
  // `timerParent` owns the timer (Timer1).
  TStatusPanels(QLabel* const (&panels)[3], TDataModule1& dm, QObject* timerParent);

  void ShowStatus(const QString& text) override;
  void SetStatusText(const QString& text) override;
  void RestartClearTimer() override;
  // The message of the current record's file check: not over a message a
  // command wrote about this very record until the timer clears that.
  void ShowFileMessage(const QString& text);
  QString Text(int panel) const;
  void SetPanel(int panel, const QString& text);
  void SetPanelHint(int panel, const QString& hint);
  // The 5 seconds are over: the first panel is cleared.
  void Timer1Timer();

 private:
  QLabel* panels_[3];
  TDataModule1& dm_;
  QTimer* clearTimer_;
  // The record a command's status text tells of (0: an empty catalog).
  bool held_ = false;
  uint32_t heldFor_ = 0;
};
