// vantrell-db's shared parts: output, arguments and the system.

#include "cli.h"

#include <algorithm>
#include <cstdio>

#ifdef _WIN32
#include <windows.h>
#include <shellapi.h>
#endif
#include <filesystem>

#include <xbase.h>

#include "folder.h"

namespace vdb {

std::string Native(const std::string& path) { return store::NativeSeparators(path); }

HeldOutput held;


void Write(std::string_view text) { std::fwrite(text.data(), 1, text.size(), stdout); }

void Out(std::string_view text) {
  if (!held.holding) {
    Write(text);
    return;
  }
  held.text += text;
  if (held.text.size() >= HeldOutput::kHeldBytes) {
    Write(held.text);
    held.text.clear();
    held.written = true;
  }
}
void Err(std::string_view text) {
  if (held.holding)
    held.errors += text;
  else
    std::fwrite(text.data(), 1, text.size(), stderr);
}
// A message on standard error, each of its lines made printable: what it
// quotes of a file or an input line never reaches the terminal raw.
void ErrLine(const std::string& text) {
  size_t at = 0;
  for (;;) {
    const size_t end = text.find('\n', at);
    Err("vantrell-db: " + xbase::Printable(std::string_view(text).substr(at, end - at)) + "\n");
    if (end == std::string::npos) break;
    at = end + 1;
  }
}

// --- the system ------------------------------------------------------------------

#ifdef _WIN32
std::wstring Wide(const std::string& s) {
  const int n = MultiByteToWideChar(CP_UTF8, 0, s.data(), (int)s.size(), nullptr, 0);
  std::wstring w((size_t)n, L'\0');
  MultiByteToWideChar(CP_UTF8, 0, s.data(), (int)s.size(), w.data(), n);
  return w;
}
std::string Utf8(const wchar_t* w) {
  const int n = WideCharToMultiByte(CP_UTF8, 0, w, -1, nullptr, 0, nullptr, nullptr);
  std::string s((size_t)std::max(n, 1), '\0');
  WideCharToMultiByte(CP_UTF8, 0, w, -1, s.data(), n, nullptr, nullptr);
  s.resize(s.size() - 1);
  return s;
}
#endif

// The arguments after the program's name, in UTF-8 (on Linux as the bytes
// were given).
Strings Arguments(int argc, char** argv) {
  Strings out;
#ifdef _WIN32
  (void)argc;
  (void)argv;
  int n = 0;
  if (wchar_t** w = CommandLineToArgvW(GetCommandLineW(), &n)) {
    for (int i = 1; i < n; ++i) out.push_back(Utf8(w[i]));
    LocalFree(w);
  }
#else
  for (int i = 1; i < argc; ++i) out.emplace_back(argv[i]);
#endif
  return out;
}

// The folder this program was started from.
std::string ExecutableFolder() {
#ifdef _WIN32
  wchar_t buf[32768];
  const DWORD n = GetModuleFileNameW(nullptr, buf, 32768);
  std::string path = n > 0 && n < 32768 ? Utf8(buf) : std::string(".");
  const size_t slash = path.find_last_of("\\/");
  return slash == std::string::npos ? std::string(".") : path.substr(0, slash);
#else
  std::error_code ec;
  const std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", ec);
  return ec ? std::string(".") : exe.parent_path().string();
#endif
}

std::string FullFolderPath(const std::string& path) {
  std::error_code ec;
#ifdef _WIN32
  std::filesystem::path p = std::filesystem::absolute(std::filesystem::path(Wide(path)), ec).lexically_normal();
  std::string full = ec ? path : Utf8(p.wstring().c_str());
  while (full.size() > 3 && (full.back() == '\\' || full.back() == '/')) full.pop_back();
#else
  std::filesystem::path p = std::filesystem::absolute(std::filesystem::path(path), ec).lexically_normal();
  std::string full = ec ? path : p.string();
  while (full.size() > 1 && full.back() == '/') full.pop_back();
#endif
  return full;
}

// --- arguments -------------------------------------------------------------------

Args ParseArgs(const Strings& in, const std::set<std::string>& allowedFlags, bool allowCatalog) {
  Args a;
  bool optionsEnded = false;
  for (size_t i = 0; i < in.size(); ++i) {
    const std::string& s = in[i];
    if (optionsEnded || s.empty() || s[0] != '-' || s == "-") {
      a.positional.push_back(s);
    } else if (s == "--") {
      optionsEnded = true;
    } else if (allowCatalog && (s == "--catalog" || s.rfind("--catalog=", 0) == 0)) {
      if (s == "--catalog") {
        if (i + 1 == in.size()) throw UsageError("--catalog needs a catalog name");
        a.catalog = in[++i];
      } else {
        a.catalog = s.substr(10);
      }
    } else if (allowedFlags.count(s)) {
      a.flags.insert(s);
    } else {
      throw UsageError("unknown option " + s);
    }
  }
  return a;
}

void ExpectPositional(const Args& a, size_t min, size_t max) {
  if (a.positional.size() < min) throw UsageError("missing argument");
  if (a.positional.size() > max)
    throw UsageError("unexpected argument " + a.positional[max]);
}

}  // namespace vdb
