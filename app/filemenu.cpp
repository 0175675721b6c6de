#include "filemenu.h"

#include "datamodule.h"
#include "filecommand.h"
#include "maincontext.h"
#include "mainservices.h"
#include "recordcommands.h"
#include "searchform.h"
#include "zipexpand.h"

TFileMenu::TFileMenu(MainContext& context, TMainServices& services, RecordsView& view, TRecordCommands& records,
                     std::function<QString()> shownPath)
    : context_(context), services_(services), view_(view), records_(records), shownPath_(std::move(shownPath)) {}

void TFileMenu::mnuFileOpsClick(fileops::Operation op) {
  using fileops::Operation;
  // Move and Rename post the record with its new path, Delete removes it or
  // (cancelled) would drop its edit: a record being edited is saved first.
  if (op == Operation::Move || op == Operation::Rename || op == Operation::Delete)
    if (!records_.LeaveEdit(browse::LeaveEdit::Save)) return;
  // Only the current record is concerned.
  view_.ClearSelection();
  fileops::TFileCommand(services_, [this](const QString& text) { context_.status.SetStatusText(text); }).Run(op);
}

void TFileMenu::sbtnRunAppClick() { fileops::LaunchFile(context_.boxParent, shownPath_()); }

void TFileMenu::sbtnZipArchClick() {
  if (context_.dm.ApTable1.RecNo() == 0) return;
  // Made afresh for each opening, so it starts from the remembered folder
  // and choices.
  TfrmZipExpand window(services_, context_.boxParent);
  window.SetLastOverwrite(zipOverwrite_);
  window.exec();
  zipOverwrite_ = window.LastOverwrite();
  services_.KeepZipExtractionFolder(window.ExtractionFolder());
}

void TFileMenu::sbtnFindClick() {
  // Made anew for each use and gone when closed: every search starts with
  // "File Name", an empty text and an empty grid.
  auto* form = new TfrmSearch(services_, context_.boxParent);
  form->exec();
}
