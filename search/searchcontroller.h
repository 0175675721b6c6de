// What the search window does, without its widgets: runs a search through
// the search service, keeps the hits the grid shows and the count the
// window shows beside them, and tells which record a row is.
#pragma once

#include <QString>

#include <cstdint>
#include <functional>

#include "searchresults.h"
#include "searchservice.h"

namespace search {

// What became of a search.
struct SearchRun {
  bool ran = false;  // the hits are the new search's
  QString error;     // an engine error's box text ("" when none)
};

// The record a row of the grid stands for (empty texts and 0 for an empty
// row).
struct HitRecord {
  QString catalog;
  uint32_t recno = 0;
};

class SearchController {
 public:
  // `service` outlives the controller.
  explicit SearchController(SearchService& service);

  // Searches every catalog for `text` in `field`; the hits replace those of
  // the search before. Not run while a search runs (a second click during
  // the scan). `keepPainted` is called now and then during a long scan.
  SearchRun Search(const QString& text, Field field, const std::function<void()>& keepPainted);
  bool Searching() const { return searching_; }

  // The grid's rows.
  TSearchResults& Results() { return results_; }
  // The number of hits of the last search as the window shows it ("" before
  // the first).
  const QString& CountText() const { return countText_; }
  HitRecord RecordOfRow(int row) const;

  // The window closes: the grid is emptied and the search service ends.
  void End();

 private:
  SearchService& service_;
  TSearchResults results_;
  QString countText_;
  bool searching_ = false;
};

}  // namespace search
