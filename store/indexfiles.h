// The index files of the catalog database held to the tags the store
// defines for them, in the window's QString form (setup.h has the rules).
#pragma once

#include <QString>
#include <QStringList>

#include <xbase.h>

namespace store {

// The status text for an index file recreated from the store's tags, e.g.
// "Index file VTLDataA.nsx was rebuilt."
QString IndexRebuiltText(const QString& indexFile);

// RepairIndexFileUtf8 on a QString folder.
QString RepairIndexFile(const QString& dataDir, const char* table, xbase::Environment& env);

// RepairIndexFilesUtf8 on a QString folder.
QStringList RepairIndexFiles(const QString& dataDir, xbase::Environment& env, QStringList& errors);

}  // namespace store
