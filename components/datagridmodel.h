// The rows of the record grid: the visible records of a master cursor, in
// its order, read through a second, private cursor over the same open file
// so that only the rows shown are read and the master never moves.
#pragma once

#include <QAbstractTableModel>
#include <QHash>
#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>
#include <QTimer>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <xbase.h>

// The marks headerData gives the master's row in the vertical header:
// browsing, editing, inserting.
inline const QString kGridMarkCurrent = QStringLiteral("\u25B6");  // ▶
inline const QString kGridMarkEdit = QStringLiteral("\u270E");     // ✎
inline const QString kGridMarkInsert = QStringLiteral("\u2731");   // ✱

// Rows = the visible records of the master cursor, in its order.
class TRecordGridModel : public QAbstractTableModel {
  Q_OBJECT

 public:
  // The row's physical record number (uint; 0 for the master's new record).
  static constexpr int RecNoRole = Qt::UserRole;
  // The width in bytes of the column's field (int), for the cell editor.
  static constexpr int MaxLengthRole = Qt::UserRole + 1;

  explicit TRecordGridModel(QObject* parent = nullptr);
  ~TRecordGridModel() override;

  // Columns as (field name, title). nullptr detaches.
  void SetDataSet(xbase::Table* master, QList<QPair<QString, QString>> columns);
  xbase::Table* DataSet() const { return master_; }
  QString ColumnField(int column) const;

  // Takes the master's folder, file, tag, query, count and state afresh and
  // drops every cached row.
  void Reset();
  // Whether the rows may no longer be the master's: its state, count, query
  // or order changed since the last Reset.
  bool NeedsReset() const;

  // Row of the master's current record: the extra last row while the master
  // inserts, -1 when there is none. MasterRow is the value found by the last
  // SyncMasterRow (or Reset).
  int MasterRow() const { return masterRow_; }
  int SyncMasterRow();
  // Whether the last row is the master's new, unposted record.
  bool HasInsertRow() const { return insertRow_; }
  bool Editable(int row) const;

  // Reading through the private cursor. RecNoAt: 0 for the new record or a
  // row that cannot be read.
  uint32_t RecNoAt(int row) const;
  // Record numbers of the rows first..last (clamped to the rows), in order.
  std::vector<uint32_t> RecNosOfRows(int first, int last) const;
  // Every record of the view in order; `visit` returns false to stop.
  void ForEachRecord(const std::function<bool(uint32_t recno)>& visit) const;
  // Row of a record, -1 when the view does not show it.
  int RowOfRecord(uint32_t recno) const;

  // Closes the private cursor; the next read opens it again. Done by itself
  // each time the event loop comes back, so the grid never keeps the file
  // open while other code needs it to itself (pack, reindex).
  void ReleaseCursor() const;
  // The last problem met reading the table ("" when none since Reset).
  QString LastError() const { return lastError_; }
  // Rows read from the table since SetDataSet (for tests and diagnostics).
  int64_t RowReads() const { return reads_; }

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  int columnCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;
  bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;

 signals:
  // A read of the table failed (damaged file, file held exclusively...).
  // Sent once per new message, from the event loop.
  void ReadError(const QString& message);
  // A value typed into a cell was not taken into the record (too long for
  // its field, or the engine refused it). Sent at once.
  void WriteRefused(const QString& message);

 private:
  struct Column {
    QString field;
    QString title;
    std::string fieldUtf8;
  };
  struct Row {
    uint32_t recno = 0;
    QStringList texts;
  };
  // The master's configuration the rows were built from.
  struct Snapshot {
    std::string folder, file, tag, query;
    bool operator==(const Snapshot&) const = default;
  };

  Snapshot TakeSnapshot() const;
  void Rebuild();
  bool OpenCursor() const;
  bool MoveCursorTo(int64_t row) const;
  const Row* Fetch(int row) const;
  QString MasterText(int column) const;
  void Fail(const QString& message) const;
  bool IsInsertRow(int row) const { return insertRow_ && row == count_; }

  xbase::Table* master_ = nullptr;
  QList<Column> columns_;
  Snapshot snap_;
  int count_ = 0;  // visible records of the master at the last Reset
  bool insertRow_ = false;
  xbase::State state_ = xbase::State::Inactive;  // the master's, at the last Reset
  int masterRow_ = -1;

  // The private cursor, its row (-1 unknown) and the cached rows.
  mutable std::unique_ptr<xbase::Table> cursor_;
  mutable int64_t cursorRow_ = -1;
  mutable bool cursorFailed_ = false;
  mutable QHash<int, Row> cache_;
  mutable int64_t reads_ = 0;
  mutable QString lastError_;
  mutable QTimer releaseTimer_;
};
