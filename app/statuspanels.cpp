#include "statuspanels.h"

#include <QLabel>
#include <QTimer>

#include "datamodule.h"

TStatusPanels::TStatusPanels(QLabel* const (&panels)[3], TDataModule1& dm, QObject* timerParent)
    : panels_{panels[0], panels[1], panels[2]}, dm_(dm), clearTimer_(new QTimer(timerParent)) {
  clearTimer_->setObjectName("Timer1");
  clearTimer_->setInterval(5000);
  QObject::connect(clearTimer_, &QTimer::timeout, clearTimer_, [this] { Timer1Timer(); });
}

void TStatusPanels::ShowStatus(const QString& text) {
  panels_[0]->setText(text);
  // The text tells of a command on this record: its file check, which may
  // answer later, does not overwrite it before the timer clears it.
  held_ = true;
  heldFor_ = dm_.ApTable1.Active() ? dm_.ApTable1.RecNo() : 0;
  // A running timer is not restarted: the panel clears 5 seconds after the
  // first message.
  if (!clearTimer_->isActive()) clearTimer_->start();
}

void TStatusPanels::SetStatusText(const QString& text) { panels_[0]->setText(text); }

void TStatusPanels::RestartClearTimer() { clearTimer_->start(); }

void TStatusPanels::ShowFileMessage(const QString& text) {
  const bool held = held_ && heldFor_ == dm_.ApTable1.RecNo() && clearTimer_->isActive();
  if (!held) panels_[0]->setText(text);
}

QString TStatusPanels::Text(int panel) const { return panels_[panel]->text(); }

void TStatusPanels::SetPanel(int panel, const QString& text) { panels_[panel]->setText(text); }

void TStatusPanels::SetPanelHint(int panel, const QString& hint) { panels_[panel]->setToolTip(hint); }

void TStatusPanels::Timer1Timer() {
  held_ = false;
  panels_[0]->setText(" ");
  clearTimer_->stop();
}
