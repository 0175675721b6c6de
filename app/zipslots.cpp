// The zip archive window of the main window, and what it and its text
// viewer ask of the main window: the record's path and its description.
#include <QPlainTextEdit>
#include <QToolButton>

#include <utility>

#include "datafiles.h"
#include "datamodule.h"
#include "mainwindow.h"
#include "prompts.h"
#include "commandtags.h"
#include "schema.h"
#include "zipexpand.h"

void TfrmVantrell::sbtnZipArchClick() {
  if (dm_.ApTable1.RecNo() == 0) return;
  // Made afresh for each opening, so it starts from the remembered folder
  // and choices.
  TfrmZipExpand window(*this, this);
  window.exec();
  zipExtractionFolder_ = window.ExtractionFolder();
}

QString TfrmVantrell::TakeZipExtractionFolder() { return std::exchange(zipExtractionFolder_, QString()); }

QString TfrmVantrell::CurrentRecordPath() {
  xbase::Table& t = dm_.ApTable1;
  if (!t.Active() || t.RecNo() == 0) return {};
  return store::FromUtf8(t.FieldByName(store::kFieldName));
}

bool TfrmVantrell::PasteIntoDescription(const QString& text) {
  xbase::Table& t = dm_.ApTable1;
  prompts::Prompts& p = prompts::Current();
  if (!t.Active() || (t.RecNo() == 0 && !browse::IsEditing(t.GetState()))) {
    p.Message(this, prompts::Kind::Error, "There is no record to copy the text to.");
    return false;
  }
  if (!readOnly_.isEmpty()) {
    p.Message(this, prompts::Kind::Error, readOnly_);
    return false;
  }
  if (const QString refusal = CurrentRecordRefusal(); !refusal.isEmpty()) {
    p.Message(this, prompts::Kind::Error, refusal);
    return false;
  }
  const bool wasBrowsing = !browse::IsEditing(t.GetState());
  if (wasBrowsing) {
    sbtnEdit->setChecked(true);
    sbtnEditClick();
    if (!browse::IsEditing(t.GetState())) return false;
  }
  DBMemo1->setFocus();
  DBMemo1->insertPlainText(text);
  // A record that was only browsed keeps the text at once; one the user
  // was editing stays in edit for the user to save.
  if (wasBrowsing) {
    sbtnSaveClick();
    if (browse::IsEditing(t.GetState())) return false;
  }
  return true;
}
