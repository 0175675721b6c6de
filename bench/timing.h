// Wall-clock timing shared by the measures: one call timed, the median of
// several, and the write-back before a timed region.
#pragma once

#include <algorithm>
#include <chrono>
#include <cstddef>
#include <vector>

#include <unistd.h>

namespace bench {

inline double Seconds(std::chrono::steady_clock::duration d) {
  return std::chrono::duration<double>(d).count();
}

template <class F>
double Time(F&& f) {
  auto start = std::chrono::steady_clock::now();
  f();
  return Seconds(std::chrono::steady_clock::now() - start);
}

inline double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  size_t n = v.size();
  return n == 0 ? 0 : (n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2);
}

// Median wall time of `runs` calls of f.
template <class F>
double MedianTime(int runs, F&& f) {
  std::vector<double> t;
  for (int i = 0; i < runs; ++i) t.push_back(Time(f));
  return Median(t);
}

// Writes every dirty page out before a timed region, so neither side pays
// for the write-back of files the setup (or the other side) just wrote.
inline void Settle() { sync(); }

}  // namespace bench
