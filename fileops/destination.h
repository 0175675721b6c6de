// The paths of a file command: the folder and name parts of a path, the
// destination proposed for the record's file and the folder remembered for
// the next command. A path is the platform's own: "/" separates folders
// everywhere; where paths carry drive letters, "\" does too and "C:" starts
// a drive.
#pragma once

#include <QString>

namespace fileops {

// Whether this platform's paths carry drive letters ("C:\Docs").
bool PathsHaveDriveLetters();

// Whether the path starts at a root: "/..." (or, where paths carry drive
// letters, "C:..." or "\\server\share..."). Only such a path names the same
// place whatever folder the program happens to be in.
bool IsFullPath(const QString& path);

// The text up to the path's last separator, without it unless it closes a
// root: "/home/a.txt" -> "/home", "/a.txt" -> "/", "D:\Docs\a.txt" ->
// "D:\Docs", "D:\a.txt" -> "D:\", "D:a.txt" -> "D:". "" for a text without
// a separator.
QString FolderPart(const QString& path);

// The text after the path's last separator; the whole text when it has none.
QString NamePart(const QString& path);

// A folder and a name joined by exactly one separator ("/", or "\" after
// a folder written with it); the name alone for an empty folder.
QString JoinPath(const QString& folder, const QString& name);

// The destination proposed for the record's file: the remembered folder
// with the file's name, or `defaultFolder` with the name when the
// remembered text does not start at a root.
QString ProposedDestination(const QString& remembered, const QString& recordPath, const QString& defaultFolder);

// The folder remembered for the next command from the dialog's chosen
// folder: its folder part. Where paths carry drive letters a text without a
// separator after its first character gets one ("D:" -> "D:\", "" -> "\"),
// which the next proposal takes for no folder at all.
QString RememberedFolder(const QString& chosen);

}  // namespace fileops
