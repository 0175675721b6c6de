// UTF-8 and the UTF-16 the Windows calls take, converted at their edges.
#pragma once

#include <string>

#include <windows.h>

namespace disk {

inline std::wstring Wide(const std::string& s) {
  if (s.empty()) return {};
  const int n = MultiByteToWideChar(CP_UTF8, 0, s.data(), (int)s.size(), nullptr, 0);
  std::wstring w((size_t)n, L'\0');
  MultiByteToWideChar(CP_UTF8, 0, s.data(), (int)s.size(), w.data(), n);
  return w;
}

// False for text with a lone surrogate, which has no UTF-8 form.
inline bool Utf8Of(const wchar_t* w, size_t length, std::string* out) {
  out->clear();
  if (length == 0) return true;
  const int n = WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, w, (int)length, nullptr, 0, nullptr, nullptr);
  if (n <= 0) return false;
  out->resize((size_t)n);
  WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, w, (int)length, out->data(), n, nullptr, nullptr);
  return true;
}

inline std::string Utf8(const std::wstring& w) {
  std::string out;
  if (!Utf8Of(w.data(), w.size(), &out)) {
    // Shown with replacement characters where a surrogate stands alone.
    const int n = WideCharToMultiByte(CP_UTF8, 0, w.data(), (int)w.size(), nullptr, 0, nullptr, nullptr);
    out.resize((size_t)(n > 0 ? n : 0));
    if (n > 0) WideCharToMultiByte(CP_UTF8, 0, w.data(), (int)w.size(), out.data(), n, nullptr, nullptr);
  }
  return out;
}

// The full path of `path` in the form that passes the 260-character limit:
// "\\?\C:\..." or "\\?\UNC\server\share\...".
inline std::wstring LongPath(const std::string& path) {
  std::wstring w = Wide(path);
  for (wchar_t& c : w)
    if (c == L'/') c = L'\\';
  if (w.rfind(L"\\\\?\\", 0) == 0) return w;
  const DWORD n = GetFullPathNameW(w.c_str(), 0, nullptr, nullptr);
  if (n == 0) return w;
  std::wstring full((size_t)n, L'\0');
  const DWORD got = GetFullPathNameW(w.c_str(), n, full.data(), nullptr);
  full.resize(got < n ? got : 0);
  if (full.empty()) return w;
  if (full.rfind(L"\\\\", 0) == 0) return L"\\\\?\\UNC\\" + full.substr(2);
  return L"\\\\?\\" + full;
}

}  // namespace disk
