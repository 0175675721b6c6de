// A cursor that shows one catalog while a compare or a refresh reads it,
// and what it showed before afterwards (opened for it when it was closed).
#pragma once

#include <string>
#include <string_view>

#include <xbase.h>

#include "schema.h"

namespace store {

class CatalogView {
 public:
  CatalogView(xbase::Table& t, std::string_view catalog) : t_(t), query_(t.Query()), wasOpen_(t.Active()) {
    if (!wasOpen_) t_.Open();
    t_.SetQuery(CatalogQueryUtf8(catalog));
  }
  ~CatalogView() {
    try {
      t_.SetQuery(query_);
      if (!wasOpen_) t_.Close();
    } catch (...) {
    }
  }
  CatalogView(const CatalogView&) = delete;
  CatalogView& operator=(const CatalogView&) = delete;

 private:
  xbase::Table& t_;
  std::string query_;
  bool wasOpen_;
};

}  // namespace store
