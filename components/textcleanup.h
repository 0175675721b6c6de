// Character-level clean-up of description text (and of zip entry names):
// removing, replacing and collapsing one character.
#pragma once

#include <QChar>
#include <QString>

// The text without any occurrence of `c`.
QString RemoveChar(const QString& text, QChar c);
// Every `c` replaced, one for one, by `r`.
QString ReplaceChar(const QString& text, QChar c, QChar r);
// Every run of two or more `c` replaced by a single one, at the ends of the
// text as inside it; the text is not trimmed.
QString CollapseRuns(const QString& text, QChar c);
