// The search service over a cursor of the records table: the program's
// second cursor, which the search opens without a query (so every catalog
// is searched) and closes when it ends.
#pragma once

#include "searchservice.h"

namespace xbase {
class Table;
}

namespace search {

class TableSearch : public SearchService {
 public:
  // `records` is configured and stays valid; it is opened by the first
  // search and closed by End.
  explicit TableSearch(xbase::Table& records) : records_(records) {}

  std::vector<uint32_t> Find(Field field, const QString& text, const std::function<void()>& keepPainted) override;
  std::vector<HitTexts> Texts(const std::vector<uint32_t>& records) override;
  void End() noexcept override;

 private:
  xbase::Table& records_;
};

}  // namespace search
