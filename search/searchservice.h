// What the search window asks of the store: every catalog searched for a
// piece of a record's path or title, and the texts of the records found.
// The window's controller talks to this only; the implementation over the
// records table is TableSearch.
#pragma once

#include <QString>

#include <array>
#include <cstdint>
#include <functional>
#include <vector>

namespace search {

// The field a search looks in.
enum class Field { Path, Title };

// The texts of one record found, as the result grid shows them: catalog,
// title, path, size and date.
using HitTexts = std::array<QString, 5>;

class SearchService {
 public:
  virtual ~SearchService() = default;

  // The records of every catalog whose `field` holds `text`, letters of
  // either case alike, in the table's order; none for an empty text.
  // `keepPainted` is called now and then during a long scan. Engine errors
  // propagate (xbase::Error).
  virtual std::vector<uint32_t> Find(Field field, const QString& text, const std::function<void()>& keepPainted) = 0;
  // The texts of `records`, in that order; a record that cannot be read
  // gives empty texts (the search has told what it could not read).
  virtual std::vector<HitTexts> Texts(const std::vector<uint32_t>& records) = 0;
  // The search is over: what it held open is released.
  virtual void End() noexcept = 0;
};

}  // namespace search
