#include "searchcontroller.h"

#include <utility>
#include <vector>

#include <xbase.h>

#include "commandguard.h"

namespace search {

SearchController::SearchController(SearchService& service) : service_(service), results_(service) {}

SearchRun SearchController::Search(const QString& text, Field field, const std::function<void()>& keepPainted) {
  SearchRun run;
  if (searching_) return run;
  searching_ = true;
  std::vector<uint32_t> hits;
  try {
    hits = service_.Find(field, text, keepPainted);
    run.ran = true;
  } catch (const xbase::Error& e) {
    run.error = command::ErrorText(e);
  }
  searching_ = false;
  if (!run.ran) return run;
  results_.SetHits(std::move(hits));
  countText_ = QString::number(results_.HitCount());
  return run;
}

HitRecord SearchController::RecordOfRow(int row) const { return {results_.Text(row, 1), results_.RecordAt(row)}; }

void SearchController::End() {
  results_.Clear();
  service_.End();
}

}  // namespace search
