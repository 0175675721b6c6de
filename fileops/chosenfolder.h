// The one folder text the file operation dialog and the zip viewer share:
// the zip viewer keeps its extraction folder in it, the file operation
// dialog proposes it for Create Folder, holds its proposed destination in it
// while it is open and clears it when it closes. Empty at program start.
#pragma once

#include <QString>

namespace fileops {

QString& ChosenFolder();

}  // namespace fileops
