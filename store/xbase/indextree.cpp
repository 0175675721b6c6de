// The B+tree operations on an open index file: descent, insert with page
// splits, erase with empty pages dropped, seeks by key, prefix and rank,
// stepping along the leaf chain, and the structural walk for the check.
#include <functional>

#include "indexpage.h"
#include "xbase.h"

namespace xbase {

using namespace nsx;

template <class Less>
uint64_t IndexFile::Descend(int tag, const Less& goRight, std::vector<std::pair<PageP, int>>* path,
                            TreePos& pos) {
  uint64_t before = 0;
  uint32_t no = roots_[(size_t)tag];
  for (int depth = 0;; ++depth) {
    if (depth > 32) Damaged("the tree is deeper than possible");
    PageP p = Fetch(no, tag);
    if (!p->branch()) {
      pos.page = no;
      pos.slot = 0;
      return before;
    }
    int n = p->n();
    if (n == 0) Damaged("empty branch page " + std::to_string(no));
    // Last child i >= 1 whose first entry lies on the left of the target.
    int lo = 1, hi = n;  // find first i in [1, n) with !goRight(e_i)
    while (lo < hi) {
      int mid = (lo + hi) / 2;
      if (goRight(p->key(mid), p->recno(mid)))
        lo = mid + 1;
      else
        hi = mid;
    }
    int j = lo - 1;
    for (int i = 0; i < j; ++i) before += p->count(i);
    if (path) path->emplace_back(p, j);
    no = p->child(j);
  }
}

namespace {
// First slot of a leaf for which less() is false.
template <class Less>
int LowerSlot(const auto& p, const Less& less) {
  int lo = 0, hi = p.n();
  while (lo < hi) {
    int mid = (lo + hi) / 2;
    if (less(p.key(mid), p.recno(mid)))
      lo = mid + 1;
    else
      hi = mid;
  }
  return lo;
}
}  // namespace

void IndexFile::Insert(int tag, std::string_view key, uint32_t recno) {
  key = TrimRight(key);
  if (key.size() > (size_t)kMaxKeyWidth) key = key.substr(0, kMaxKeyWidth);
  BeginChange();
  std::vector<std::pair<PageP, int>> path;
  TreePos pos;
  auto lessEq = [&](std::string_view k, uint32_t r) { return CompareEntry(k, r, key, recno) <= 0; };
  Descend(tag, lessEq, &path, pos);
  PageP leaf = Fetch(pos.page, tag);
  auto less = [&](std::string_view k, uint32_t r) { return CompareEntry(k, r, key, recno) < 0; };
  int slot = LowerSlot(*leaf, less);

  // Inserts e at `at` in page p, splitting it when full. Returns the new
  // right page or null.
  auto place = [&](const PageP& p, int at, const std::string& e) -> PageP {
    MarkChanged(p);
    if (p->TryInsert(at, e)) return nullptr;
    // Split: the entries (with e in its place) are shared out by bytes
    // between p and a new page on its right.
    Page copy;
    std::memcpy(copy.d, p->d, kPageSize);
    const int cnt = copy.n();
    auto sizeOf = [&](int i) -> uint32_t { return i == at ? (uint32_t)e.size() : copy.entrySize(i < at ? i : i - 1); };
    auto bytesOf = [&](int i) -> const unsigned char* {
      return i == at ? (const unsigned char*)e.data() : copy.d + copy.off(i < at ? i : i - 1);
    };
    uint32_t total = 0;
    for (int i = 0; i <= cnt; ++i) total += sizeOf(i) + 2;
    int m = 0;
    uint32_t acc = 0;
    while (m < cnt && acc + sizeOf(m) + 2 <= total / 2) acc += sizeOf(m++) + 2;
    if (m == 0) m = 1;
    PageP right = NewPage(tag, p->kind());
    auto fill = [&](Page& dst, int from, int to) {
      uint32_t h = kPageSize;
      int k = 0;
      for (int i = from; i < to; ++i, ++k) {
        uint32_t sz = sizeOf(i);
        h -= sz;
        std::memcpy(dst.d + h, bytesOf(i), sz);
        dst.setOff(k, h);
      }
      dst.setN(k);
      dst.setHeap(h);
      dst.setGarbage(0);
    };
    fill(*p, 0, m);
    fill(*right, m, cnt + 1);
    if (!p->branch()) {
      right->setNext(p->next());
      right->setPrev(p->no);
      if (p->next() != 0) {
        PageP after = Fetch(p->next(), tag);
        after->setPrev(right->no);
        MarkChanged(after);
      }
      p->setNext(right->no);
    }
    return right;
  };

  PageP leftP = leaf;
  PageP right = place(leaf, slot, EncodeEntry(key, recno, false));
  for (int level = (int)path.size() - 1; level >= 0; --level) {
    PageP parent = path[(size_t)level].first;
    int j = path[(size_t)level].second;
    MarkChanged(parent);
    if (!right) {
      parent->setCount(j, parent->count(j) + 1);
      leftP = parent;
      continue;
    }
    parent->setCount(j, (uint32_t)leftP->total());
    std::string e = EncodeEntry(right->key(0), right->recno(0), true, right->no, (uint32_t)right->total());
    leftP = parent;
    right = place(parent, j + 1, e);
  }
  if (right) {
    // The root split: a new root above both halves.
    PageP root = NewPage(tag, kBranch);
    root->TryInsert(0, EncodeEntry("", 0, true, leftP->no, (uint32_t)leftP->total()));
    root->TryInsert(1, EncodeEntry(right->key(0), right->recno(0), true, right->no, (uint32_t)right->total()));
    roots_[(size_t)tag] = root->no;
  }
}

bool IndexFile::Erase(int tag, std::string_view key, uint32_t recno) {
  key = TrimRight(key);
  if (key.size() > (size_t)kMaxKeyWidth) key = key.substr(0, kMaxKeyWidth);
  std::vector<std::pair<PageP, int>> path;
  TreePos pos;
  auto lessEq = [&](std::string_view k, uint32_t r) { return CompareEntry(k, r, key, recno) <= 0; };
  Descend(tag, lessEq, &path, pos);
  PageP leaf = Fetch(pos.page, tag);
  auto less = [&](std::string_view k, uint32_t r) { return CompareEntry(k, r, key, recno) < 0; };
  int slot = LowerSlot(*leaf, less);
  if (slot >= leaf->n() || CompareEntry(leaf->key(slot), leaf->recno(slot), key, recno) != 0) return false;
  BeginChange();
  MarkChanged(leaf);
  leaf->Remove(slot);
  for (auto& [p, j] : path) {
    MarkChanged(p);
    p->setCount(j, p->count(j) - 1);
  }
  // Drop pages that became empty (the root stays).
  PageP child = leaf;
  for (int level = (int)path.size() - 1; level >= 0 && child->n() == 0; --level) {
    PageP parent = path[(size_t)level].first;
    int j = path[(size_t)level].second;
    if (!child->branch()) {
      if (child->prev()) {
        PageP b = Fetch(child->prev(), tag);
        b->setNext(child->next());
        MarkChanged(b);
      }
      if (child->next()) {
        PageP a = Fetch(child->next(), tag);
        a->setPrev(child->prev());
        MarkChanged(a);
      }
    }
    parent->Remove(j);
    FreePage(child);
    child = parent;
  }
  // A root with one child gives way to the child; an empty branch root
  // becomes an empty leaf.
  for (;;) {
    PageP root = Fetch(roots_[(size_t)tag], tag);
    if (!root->branch()) break;
    if (root->n() == 0) {
      root->Init(root->no, kLeaf, (uint8_t)tag);
      MarkChanged(root);
      break;
    }
    if (root->n() != 1) break;
    roots_[(size_t)tag] = root->child(0);
    FreePage(root);
  }
  return true;
}

uint64_t IndexFile::Count(int tag) {
  PageP root = Fetch(roots_[(size_t)tag], tag);
  return root->total();
}

uint64_t IndexFile::SeekPrefix(int tag, std::string_view prefix, bool upper, TreePos& pos) {
  auto goRight = [&](std::string_view k, uint32_t) {
    int c = ComparePrefix(k, prefix);
    return upper ? c <= 0 : c < 0;
  };
  uint64_t before = Descend(tag, goRight, nullptr, pos);
  PageP leaf = Fetch(pos.page, tag);
  int slot = LowerSlot(*leaf, goRight);
  pos.slot = slot;
  if (slot >= leaf->n()) {
    uint32_t nx = leaf->next();
    pos.page = nx;
    pos.slot = 0;
    if (nx != 0 && Fetch(nx, tag)->n() == 0) pos.page = 0;
  }
  return before + (uint64_t)slot;
}

uint64_t IndexFile::Seek(int tag, std::string_view key, uint32_t recno, TreePos& pos) {
  key = TrimRight(key);
  auto less = [&](std::string_view k, uint32_t r) { return CompareEntry(k, r, key, recno) < 0; };
  uint64_t before = Descend(tag, less, nullptr, pos);
  PageP leaf = Fetch(pos.page, tag);
  int slot = LowerSlot(*leaf, less);
  pos.slot = slot;
  if (slot >= leaf->n()) {
    pos.page = leaf->next();
    pos.slot = 0;
  }
  return before + (uint64_t)slot;
}

void IndexFile::Select(int tag, uint64_t rank, TreePos& pos) {
  uint32_t no = roots_[(size_t)tag];
  for (int depth = 0;; ++depth) {
    if (depth > 32) Damaged("the tree is deeper than possible");
    PageP p = Fetch(no, tag);
    if (!p->branch()) {
      if (rank >= (uint64_t)p->n()) {
        pos = TreePos{};
        return;
      }
      pos.page = no;
      pos.slot = (int)rank;
      return;
    }
    int i = 0;
    for (; i < p->n(); ++i) {
      if (rank < p->count(i)) break;
      rank -= p->count(i);
    }
    if (i == p->n()) {
      pos = TreePos{};
      return;
    }
    no = p->child(i);
  }
}

bool IndexFile::Next(int tag, TreePos& pos) {
  if (!pos.valid()) return false;
  PageP p = Fetch(pos.page, tag);
  if (pos.slot + 1 < p->n()) {
    ++pos.slot;
    return true;
  }
  uint32_t nx = p->next();
  for (int guard = 0; nx != 0 && guard < 1000000; ++guard) {
    PageP q = Fetch(nx, tag);
    if (q->branch()) Damaged("leaf chain reaches a branch page");
    if (q->n() > 0) {
      // Entries only grow along the chain: a link back to a smaller entry is
      // a loop (a damaged file, or pages of two states of a file another
      // program is changing), which would otherwise be walked for ever.
      if (p->n() > 0 && CompareEntry(q->key(0), q->recno(0), p->key(p->n() - 1), p->recno(p->n() - 1)) <= 0)
        Damaged("leaf chain from page " + std::to_string(pos.page) + " runs back to page " + std::to_string(nx));
      pos.page = nx;
      pos.slot = 0;
      return true;
    }
    nx = q->next();
  }
  pos = TreePos{};
  return false;
}

bool IndexFile::Prior(int tag, TreePos& pos) {
  if (!pos.valid()) return false;
  PageP p = Fetch(pos.page, tag);
  if (pos.slot > 0) {
    --pos.slot;
    return true;
  }
  uint32_t pv = p->prev();
  for (int guard = 0; pv != 0 && guard < 1000000; ++guard) {
    PageP q = Fetch(pv, tag);
    if (q->branch()) Damaged("leaf chain reaches a branch page");
    if (q->n() > 0) {
      if (p->n() > 0 && CompareEntry(q->key(q->n() - 1), q->recno(q->n() - 1), p->key(0), p->recno(0)) >= 0)
        Damaged("leaf chain from page " + std::to_string(pos.page) + " runs back to page " + std::to_string(pv));
      pos.page = pv;
      pos.slot = q->n() - 1;
      return true;
    }
    pv = q->prev();
  }
  pos = TreePos{};
  return false;
}

void IndexFile::Last(int tag, TreePos& pos) {
  uint32_t no = roots_[(size_t)tag];
  for (int depth = 0;; ++depth) {
    if (depth > 32) Damaged("the tree is deeper than possible");
    PageP p = Fetch(no, tag);
    if (!p->branch()) {
      if (p->n() == 0) {
        pos = TreePos{};
        return;
      }
      pos.page = no;
      pos.slot = p->n() - 1;
      return;
    }
    no = p->child(p->n() - 1);
  }
}

std::string_view IndexFile::KeyAt(int tag, const TreePos& pos, uint32_t& recno) {
  PageP p = Fetch(pos.page, tag);
  if (pos.slot < 0 || pos.slot >= p->n()) Damaged("position outside page " + std::to_string(pos.page));
  recno = p->recno(pos.slot);
  // The page stays in the cache while the caller reads the key: it was
  // just used, so it is the last to be evicted.
  return p->key(pos.slot);
}

void IndexFile::ForEach(int tag, const std::function<void(std::string_view, uint32_t)>& f) {
  TreePos pos;
  Select(tag, 0, pos);
  while (pos.valid()) {
    PageP p = Fetch(pos.page, tag);
    for (int i = pos.slot; i < p->n(); ++i) f(p->key(i), p->recno(i));
    pos.slot = p->n() - 1;
    if (!Next(tag, pos)) break;
  }
}

std::vector<std::string> IndexFile::Verify() {
  std::vector<std::string> problems;
  for (size_t t = 0; t < tags_.size(); ++t) {
    const std::string where = "index file " + path_ + ", tag " + tags_[t].name + ": ";
    try {
      std::string lastKey;
      uint32_t lastRec = 0;
      bool any = false;
      uint32_t lastLeaf = 0, lastNext = 0;
      uint64_t seen = 0;
      // Depth-first walk checking counts, order and the leaf chain.
      std::function<uint64_t(uint32_t, int)> walk = [&](uint32_t no, int depth) -> uint64_t {
        if (depth > 32) Damaged("the tree is deeper than possible");
        PageP p = Fetch(no, (int)t);
        if (!p->branch()) {
          if (p->prev() != lastLeaf || (lastLeaf != 0 && lastNext != no))
            problems.push_back(where + "leaf chain broken at page " + std::to_string(no));
          lastLeaf = no;
          lastNext = p->next();
          for (int i = 0; i < p->n(); ++i) {
            if (any && CompareEntry(lastKey, lastRec, p->key(i), p->recno(i)) >= 0)
              problems.push_back(where + "keys out of order in page " + std::to_string(no));
            lastKey = std::string(p->key(i));
            lastRec = p->recno(i);
            any = true;
          }
          seen += (uint64_t)p->n();
          return (uint64_t)p->n();
        }
        uint64_t sum = 0;
        for (int i = 0; i < p->n(); ++i) {
          uint64_t c = walk(p->child(i), depth + 1);
          if (c != p->count(i))
            problems.push_back(where + "wrong count in branch page " + std::to_string(no));
          sum += c;
        }
        return sum;
      };
      walk(roots_[t], 0);
      if (lastNext != 0) problems.push_back(where + "leaf chain runs on past its last page " + std::to_string(lastLeaf));
      if (problems.size() > 20) problems.resize(20);
    } catch (const Error& e) {
      problems.push_back(e.what());
    }
  }
  return problems;
}

}  // namespace xbase
