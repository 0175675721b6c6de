// The checks on an entry's name, the same on every system. Where the
// entries are written: unzipfolder_posix.cpp and unzipfolder_win32.cpp.
#include "unzipfolder.h"

namespace zip {

SafeName CheckName(QString name) {
  SafeName s;
  name.replace(u'\\', u'/');
  s.directory = name.endsWith(u'/');
  if (name.startsWith(u'/')) {
    s.refusal = QStringLiteral("its name is an absolute path");
    return s;
  }
  if (name.size() >= 2 && name[1] == u':' && name[0].unicode() < 0x80 && name[0].isLetter()) {
    s.refusal = QStringLiteral("its name begins with a drive letter");
    return s;
  }
  for (const QString& part : name.split(u'/', Qt::SkipEmptyParts)) {
    if (part == QLatin1String(".")) continue;
    if (part == QLatin1String("..")) {
      s.refusal = QStringLiteral("its name leads out of the folder (\"..\")");
      return s;
    }
#ifdef _WIN32
    // A colon inside a name would write to a stream of another file.
    if (part.contains(u':')) {
      s.refusal = QStringLiteral("its name holds a colon");
      return s;
    }
#endif
    s.parts.append(part);
  }
  return s;
}

}  // namespace zip
