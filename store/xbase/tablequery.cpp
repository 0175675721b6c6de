// Finding records: the query, Locate, and FindContaining.
#include <algorithm>
#include <string>
#include <vector>

#include "cursor.h"

namespace xbase {

void Table::SetQuery(const std::string& expression) {
  Impl& m = *impl_;
  if (!m.sh) {
    query_ = expression;
    return;
  }
  m.LeaveEdit();
  std::string old = query_;
  query_ = expression;
  try {
    m.CompileQuery();
  } catch (...) {
    query_ = old;
    m.CompileQuery();
    throw;
  }
  m.GoFirst();
  m.Notify();
}

bool Table::Locate(std::string_view field, std::string_view value, LocateOptions opt) {
  Impl& m = *impl_;
  m.RequireOpen("Locate");
  m.LeaveEdit();
  int fi = m.dbf().FieldIndex(field);
  if (fi < 0) throw Error(ErrorCode::NotFound, "table " + Path() + " has no field " + std::string(field));
  const DbfField& f = m.dbf().fields()[(size_t)fi];
  bool memo = f.def.type == 'M';
  std::string want = opt.caseInsensitive ? Utf8Lower(value) : std::string(value);
  if (!opt.partialKey) want = std::string(TrimRight(want));
  uint32_t keep = m.recno;
  auto matches = [&]() {
    std::string v;
    if (memo) {
      v = m.sh->ReadMemo(m.rec.data(), fi);
    } else {
      v = std::string(TrimRight(std::string_view(m.rec.data() + f.offset, (size_t)f.def.width)));
    }
    if (opt.caseInsensitive) v = Utf8Lower(v);
    if (opt.partialKey) return v.compare(0, want.size(), want) == 0;
    return v == want;
  };
  if (m.MoveFirst()) {
    do {
      if (matches()) {
        eof_ = bof_ = false;
        m.Notify();
        return true;
      }
    } while (m.MoveNext());
  }
  m.Reposition(keep);
  return false;
}

std::vector<uint32_t> Table::FindContaining(std::string_view field, std::string_view text, bool caseInsensitive) {
  Impl& m = *impl_;
  m.RequireOpen("FindContaining");
  std::vector<uint32_t> hits;
  if (text.empty()) return hits;
  int fi = m.dbf().FieldIndex(field);
  if (fi < 0) throw Error(ErrorCode::NotFound, "table " + Path() + " has no field " + std::string(field));
  const DbfField& f = m.dbf().fields()[(size_t)fi];
  bool memo = f.def.type == 'M';
  std::string needle = caseInsensitive ? Utf8Lower(text) : std::string(text);
  bool asciiNeedle = std::all_of(needle.begin(), needle.end(), [](char c) { return (unsigned char)c < 0x80; });
  const bool deletedOff = !env_.Deleted();
  TagRuntime* tagRt = m.tagged() ? &m.rt() : nullptr;

  const uint32_t total = m.dbf().count();
  const uint32_t recLen = m.dbf().recordLength();
  const uint32_t per = std::max<uint32_t>(1, (uint32_t)((1u << 20) / recLen));
  // The records are used where they lie in the file's window.
  ReadWindow window(m.dbf().file(), (size_t)per * recLen);
  std::string lowered;
  const size_t w = (size_t)f.def.width;
  // A needle that ends in a blank could match the field's padding; then the
  // field is searched without it.
  const bool trimFirst = !needle.empty() && needle.back() == ' ';
  // Ordering the hits as the tag orders them: a few hits are sorted by
  // their keys; past kKeyedHits the keys are dropped and the hits are
  // marked one bit per record, then taken in the order of the tag's leaves.
  // Walking every leaf costs about as much as sorting a sixteenth of the
  // records' keys, and the keys kept stay within a few MiB.
  const size_t kKeyedHits = std::clamp<size_t>(total / 16, 4096, 65536);
  std::vector<std::pair<std::string, uint32_t>> keyed;
  std::vector<bool> marked;
  std::string key;
  // One pass over the records through one reused buffer.
  for (uint32_t first = 1; first <= total; first += per) {
    const uint32_t k = std::min(per, total - first + 1);
    const char* records = window.Get(m.dbf().RecordOffset(first), (size_t)k * recLen);
    for (uint32_t i = 0; i < k; ++i) {
      const char* r = records + (size_t)i * recLen;
      if (!deletedOff && r[0] == '*') continue;
      bool hit;
      if (memo) {
        std::string memoText = m.sh->ReadMemo(r, fi);
        if (caseInsensitive) {
          lowered.clear();
          AppendLower(memoText, lowered);
          hit = lowered.find(needle) != std::string::npos;
        } else {
          hit = memoText.find(needle) != std::string::npos;
        }
      } else {
        const char* fp = r + f.offset;
        size_t len = trimFirst ? PaddedLength(fp, w) : w;
        if (caseInsensitive && asciiNeedle) {
          hit = ContainsAsciiFolded(fp, len, needle);
        } else if (caseInsensitive) {
          lowered.clear();
          AppendLower(std::string_view(fp, len), lowered);
          hit = lowered.find(needle) != std::string::npos;
        } else {
          hit = std::string_view(fp, len).find(needle) != std::string_view::npos;
        }
      }
      if (!hit) continue;
      if (!tagRt) {
        hits.push_back(first + i);
        continue;
      }
      if (!m.sh->InTag(*tagRt, r)) continue;
      if (!marked.empty()) {
        marked[first + i] = true;
        continue;
      }
      key.clear();
      m.sh->KeyOf(*tagRt, r, key);
      keyed.emplace_back(key, first + i);
      if (keyed.size() > kKeyedHits) {
        marked.assign((size_t)total + 1, false);
        for (const auto& e : keyed) marked[e.second] = true;
        std::vector<std::pair<std::string, uint32_t>>().swap(keyed);
      }
    }
  }
  if (!tagRt) return hits;
  if (!marked.empty()) {
    // The tag's leaves give the order; a unique tag keeps the first hit of
    // each key.
    std::string lastKey;
    m.sh->index.ForEach(m.tag, [&](std::string_view k, uint32_t recno) {
      if (recno == 0 || recno > total || !marked[recno]) return;
      if (tagRt->def.unique) {
        if (!hits.empty() && ComparePadded(lastKey, k) == 0) return;
        lastKey.assign(k);
      }
      marked[recno] = false;
      hits.push_back(recno);
    });
    return hits;
  }
  // Order the hits as the tag orders them.
  std::sort(keyed.begin(), keyed.end(), [](const auto& a, const auto& b) {
    int c = ComparePadded(a.first, b.first);
    return c != 0 ? c < 0 : a.second < b.second;
  });
  if (tagRt->def.unique) {
    std::vector<std::pair<std::string, uint32_t>> firsts;
    for (auto& e : keyed)
      if (firsts.empty() || ComparePadded(firsts.back().first, e.first) != 0) firsts.push_back(e);
    keyed.swap(firsts);
  }
  for (auto& e : keyed) hits.push_back(e.second);
  return hits;
}

}  // namespace xbase
