// This program's roles run in child processes: the registry of roles and the
// command line that starts one.
#include <cstring>
#include <map>
#include <string>

#include "childprocess.h"

#ifdef _WIN32
#include <windows.h>
#include <shellapi.h>
#endif

namespace testsupport {

namespace {

constexpr const char* kRoleFlag = "--child-role";

std::map<std::string, RoleMain>& Roles() {
  static std::map<std::string, RoleMain> roles;
  return roles;
}

Args WithRole(const std::string& role, const Args& args) {
  Args all{kRoleFlag, role};
  all.insert(all.end(), args.begin(), args.end());
  return all;
}

#ifdef _WIN32
std::string Utf8(const wchar_t* text) {
  const int n = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
  std::string out(n > 0 ? size_t(n) : 0, '\0');
  if (n > 0) WideCharToMultiByte(CP_UTF8, 0, text, -1, out.data(), n, nullptr, nullptr);
  if (!out.empty()) out.pop_back();
  return out;
}
#endif

// The command line's arguments in UTF-8 (on Windows from the UTF-16 command
// line, as argv holds them in the ANSI code page).
Args CommandLine(int argc, char** argv) {
  Args all;
#ifdef _WIN32
  (void)argv;
  int n = 0;
  if (wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &n)) {
    for (int i = 0; i < n; ++i) all.push_back(Utf8(wide[i]));
    LocalFree(wide);
    if (n == argc) return all;
    all.clear();
  }
#endif
  for (int i = 0; i < argc; ++i) all.push_back(argv[i]);
  return all;
}

}  // namespace

bool RegisterRole(const char* name, RoleMain role) {
  Roles()[name] = role;
  return true;
}

std::optional<int> RunChildRole(int argc, char** argv) {
  if (argc < 3 || std::strcmp(argv[1], kRoleFlag) != 0) return std::nullopt;
  const Args all = CommandLine(argc, argv);
  const auto role = Roles().find(all[2]);
  if (role == Roles().end()) return 120;
  return role->second(Args(all.begin() + 3, all.end()));
}

ProcessResult RunRole(const std::string& role, const Args& args, const std::string& input) {
  return RunProcess(SelfPath(), WithRole(role, args), input);
}

bool StartRole(ChildProcess& child, const std::string& role, const Args& args, const std::string& errPath) {
  return child.Start(SelfPath(), WithRole(role, args), errPath);
}

}  // namespace testsupport
