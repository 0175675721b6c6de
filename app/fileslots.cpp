// The File menu of the main window: the commands on the current record's
// file and launching it. The fileops library does the work.
#include <QAction>
#include <QLabel>

#include "datagrid.h"
#include "filecommand.h"
#include "mainwindow.h"
#include "pathlabel.h"

void TfrmVantrell::mnuFileOpsClick(QAction* invoker) {
  using fileops::Operation;
  const Operation op = invoker == mnuFlMove     ? Operation::Move
                       : invoker == mnuFlRename ? Operation::Rename
                       : invoker == mnuFlDelete ? Operation::Delete
                       : invoker == mnuCreateDir ? Operation::CreateFolder
                                                 : Operation::Copy;
  // Move and Rename post the record with its new path, Delete removes it or
  // (cancelled) would drop its edit: a record being edited is saved first.
  if (op == Operation::Move || op == Operation::Rename || op == Operation::Delete)
    if (!LeaveEdit(browse::LeaveEdit::Save)) return;
  // Only the current record is concerned.
  RxDBGrid1->ClearSelectedRecords();
  fileops::TFileCommand(*this, [this](const QString& text) { StatusPanel[0]->setText(text); }).Run(op);
}

void TfrmVantrell::sbtnRunAppClick() { fileops::LaunchFile(this, FileLabel1->path()); }
