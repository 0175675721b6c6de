#include "chosenfolder.h"

namespace fileops {

QString& ChosenFolder() {
  static QString folder;
  return folder;
}

}  // namespace fileops
