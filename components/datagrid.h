// The record grid of the main window: a table view over a records cursor
// that reads only the rows it shows, so a catalog of a million records opens,
// scrolls and jumps at once.
//
// The grid never moves the cursor it shows (the "master", e.g. ApTable1):
// rows are read through a second, private cursor over the same open file.
// The user's moves are reported (CurrentRowChosen) and the owner moves the
// master; the owner tells the grid about the master with SyncToMaster (after
// every record change) and Reset (after a change of state, query, order or
// records).
#pragma once

#include <QList>
#include <QPair>
#include <QString>
#include <QTableView>

#include <cstdint>
#include <vector>

#include <xbase.h>

#include "datagridmodel.h"

class TGridIndicator;

// The grid RxDBGrid1: one row per record, an indicator column at the left,
// title buttons, and a selection of records kept by record number.
class TRxDBGrid : public QTableView {
  Q_OBJECT

 public:
  explicit TRxDBGrid(QWidget* parent = nullptr);
  ~TRxDBGrid() override;

  // Columns as (field name, title); nullptr detaches. Clears the selection.
  void SetDataSet(xbase::Table* master, QList<QPair<QString, QString>> columns);
  TRecordGridModel* Model() const { return model_; }

  // The master's query, order, records or state changed: re-read, repaint,
  // keep the current row on the master's record. The selection stays (it is
  // kept by record number; after a pack, which renumbers records, call
  // RecordsRenumbered).
  void Reset();
  // The master's records were numbered anew (a pack): the selection and the
  // record Shift ranges start from would now name other records, so both
  // are dropped.
  void RecordsRenumbered();
  // Makes the master's current record the current row and scrolls to it.
  // Resets by itself when the master's state, count, query or order changed.
  void SyncToMaster();

  // True while browsing. While false a double click, F2 or typing edits the
  // cell of the current row (the master must be in Edit or Insert).
  void SetReadOnly(bool on);
  bool ReadOnly() const { return readOnly_; }
  // Writes an open cell editor's text to the master's edit buffer and closes
  // the editor; true when there was one. Call before posting the master.
  bool CommitCellEdit();

  // Header sections clickable -> TitleBtnClick(column).
  bool TitleButtons = true;
  // Ctrl and Shift extend the selection; otherwise at most one record.
  bool MultiSelect = true;

  // The selected records the view shows, in view order. Records selected
  // while another query was in force are kept but not listed here.
  QList<uint32_t> SelectedRecords() const;
  // Every selected record, shown or not.
  int SelectedCount() const { return (int)selCount_; }
  void SelectAllRecords();
  void ClearSelectedRecords();
  bool IsSelected(uint32_t recno) const;

 signals:
  void TitleBtnClick(int column);
  // The user chose another current row (click, keys). The owner moves the
  // master there; the grid does not.
  void CurrentRowChosen(int row);

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void keyboardSearch(const QString& search) override;
  void changeEvent(QEvent* event) override;

 private:
  friend class TGridIndicator;

  // How a user move touches the selection.
  enum class Pick { Single, Toggle, Range, AddRange, Keep };
  Pick PickOfClick(Qt::KeyboardModifiers mods) const;
  // A user move to `row` (and `column`, -1 = the current one).
  void ChooseRow(int row, Pick pick, int column = -1);
  void SetCurrentRow(int row, int column = -1);
  void PlaceOnMaster();
  int CurrentRowOrMaster() const;
  int PageRows() const;
  int AnchorRow() const;
  void SetSelected(uint32_t recno, bool on);
  void ApplyMetrics();
  void ApplyEditTriggers();

  TRecordGridModel* model_;
  TGridIndicator* indicator_;
  bool readOnly_ = true;
  // Selected record numbers as a bitmap indexed by record number.
  std::vector<uint64_t> selBits_;
  int64_t selCount_ = 0;
  uint32_t anchor_ = 0;  // record the Shift ranges start from
};
