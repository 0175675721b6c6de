#include "xbase.h"

namespace xbase {

const char* StateName(State s) {
  switch (s) {
    case State::Inactive: return "Inactive";
    case State::Browse: return "Browse";
    case State::Edit: return "Edit";
    case State::Insert: return "Insert";
  }
  return "";
}

}  // namespace xbase
