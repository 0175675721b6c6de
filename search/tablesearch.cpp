#include "tablesearch.h"

#include "schema.h"
#include "searchmatch.h"
#include "xbase.h"

namespace search {

namespace {

// The fields of HitTexts, in its order.
const char* const kTextFields[] = {store::kFieldCatalog, store::kFieldTitle, store::kFieldName, store::kFieldSize,
                                   store::kFieldDate};

}  // namespace

std::vector<uint32_t> TableSearch::Find(Field field, const QString& text, const std::function<void()>& keepPainted) {
  const TextMatcher matches(text);
  xbase::Table& t = records_;
  // Every catalog: the cursor without a query, whatever one it had.
  if (!t.Active()) t.Open();
  if (!t.Query().empty()) t.SetQuery("");
  if (matches.Empty()) return {};  // an empty text occurs nowhere
  return t.FindFolded(field == Field::Path ? store::kFieldName : store::kFieldTitle, matches.Folded(),
                      [&](double) {
                        if (keepPainted) keepPainted();
                        return true;
                      });
}

std::vector<HitTexts> TableSearch::Texts(const std::vector<uint32_t>& records) {
  std::vector<HitTexts> rows(records.size());
  xbase::Table& t = records_;
  if (!t.Active()) return rows;
  int fields[5];
  for (int f = 0; f < 5; ++f) fields[f] = t.FieldIndex(kTextFields[f]);
  size_t i = 0;
  try {
    // Records read in file order, handed back in the order asked.
    t.ForEachRecordOf(records, [&](const xbase::RecordRef& r) {
      while (i < records.size() && records[i] != r.recno) ++i;
      if (i == records.size()) return false;
      for (int f = 0; f < 5; ++f) {
        const std::string_view v = fields[f] >= 0 ? r.Text(fields[f]) : std::string_view();
        rows[i][(size_t)f] = QString::fromUtf8(v.data(), (qsizetype)v.size());
      }
      ++i;
      return true;
    });
  } catch (const std::exception&) {
    // The rows not read stay empty.
  }
  return rows;
}

void TableSearch::End() noexcept {
  try {
    if (records_.Active()) records_.Close();
  } catch (const std::exception&) {
  }
}

}  // namespace search
