// Processes on Windows: CreateProcessW with a command line quoted the way
// the C runtime splits it, UTF-16 throughout, pipes read on threads.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cwctype>
#include <thread>

#include "childprocess.h"

namespace testsupport {

namespace {

std::wstring Wide(const std::string& text) {
  if (text.empty()) return {};
  const int n = MultiByteToWideChar(CP_UTF8, 0, text.data(), int(text.size()), nullptr, 0);
  std::wstring out(size_t(n), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, text.data(), int(text.size()), out.data(), n);
  return out;
}

std::string Utf8(const std::wstring& text) {
  if (text.empty()) return {};
  const int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), int(text.size()), nullptr, 0, nullptr, nullptr);
  std::string out(size_t(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), int(text.size()), out.data(), n, nullptr, nullptr);
  return out;
}

// One argument as the C runtime's command-line splitting gives it back:
// quoted when it is empty or holds blanks or quotes, backslashes doubled
// before a quote.
std::wstring Quoted(const std::wstring& arg) {
  if (!arg.empty() && arg.find_first_of(L" \t\n\v\"") == std::wstring::npos) return arg;
  std::wstring q = L"\"";
  for (size_t i = 0;; ++i) {
    size_t slashes = 0;
    while (i < arg.size() && arg[i] == L'\\') {
      ++slashes;
      ++i;
    }
    if (i == arg.size()) {
      q.append(slashes * 2, L'\\');
      break;
    }
    if (arg[i] == L'"') {
      q.append(slashes * 2 + 1, L'\\');
    } else {
      q.append(slashes, L'\\');
    }
    q.push_back(arg[i]);
  }
  q.push_back(L'"');
  return q;
}

std::wstring CommandLine(const std::string& program, const Args& args) {
  std::wstring line = Quoted(Wide(program));
  for (const std::string& a : args) line += L" " + Quoted(Wide(a));
  return line;
}

std::wstring Upper(std::wstring s) {
  std::transform(s.begin(), s.end(), s.begin(), [](wchar_t c) { return wchar_t(std::towupper(c)); });
  return s;
}

// This process's environment with `extraEnv` put over it, as a block of
// NUL-ended entries (names compared without case, as Windows does).
std::wstring EnvironmentBlock(const Args& extraEnv) {
  std::vector<std::wstring> extra;
  for (const std::string& x : extraEnv) extra.push_back(Wide(x));
  std::wstring block;
  if (wchar_t* env = GetEnvironmentStringsW()) {
    for (const wchar_t* e = env; *e; e += wcslen(e) + 1) {
      const std::wstring entry = e;
      bool replaced = false;
      for (const std::wstring& x : extra) {
        const std::wstring name = Upper(x.substr(0, x.find(L'=') + 1));
        replaced = replaced || Upper(entry.substr(0, name.size())) == name;
      }
      if (!replaced) block += entry + L'\0';
    }
    FreeEnvironmentStringsW(env);
  }
  for (const std::wstring& x : extra) block += x + L'\0';
  block += L'\0';
  return block;
}

// A pipe whose one end (the child's) is inherited.
bool Pipe(HANDLE& read, HANDLE& write, bool childReads) {
  SECURITY_ATTRIBUTES sa{sizeof sa, nullptr, TRUE};
  if (!CreatePipe(&read, &write, &sa, 0)) return false;
  SetHandleInformation(childReads ? write : read, HANDLE_FLAG_INHERIT, 0);
  return true;
}

void Close(HANDLE& h) {
  if (h && h != INVALID_HANDLE_VALUE) CloseHandle(h);
  h = nullptr;
}

void ReadAll(HANDLE h, std::string& into) {
  char buf[65536];
  DWORD n = 0;
  while (ReadFile(h, buf, sizeof buf, &n, nullptr) && n > 0) into.append(buf, n);
}

// The exit status as the tests read it: a crash (an NTSTATUS error code such
// as an access violation) is -1, like a signal on POSIX.
int StatusOf(HANDLE process) {
  DWORD code = 0;
  if (!GetExitCodeProcess(process, &code)) return -1;
  return code >= 0xC0000000u ? -1 : int(code);
}

bool Spawn(const std::string& program, const Args& args, const std::wstring* env, HANDLE in, HANDLE out,
           HANDLE err, PROCESS_INFORMATION& pi) {
  STARTUPINFOW si{};
  si.cb = sizeof si;
  si.dwFlags = STARTF_USESTDHANDLES;
  si.hStdInput = in;
  si.hStdOutput = out;
  si.hStdError = err;
  std::wstring line = CommandLine(program, args);
  std::wstring envCopy = env ? *env : std::wstring();
  return CreateProcessW(Wide(program).c_str(), line.data(), nullptr, nullptr, TRUE,
                        env ? CREATE_UNICODE_ENVIRONMENT : 0, env ? envCopy.data() : nullptr, nullptr, &si,
                        &pi) != 0;
}

}  // namespace

std::string SelfPath() {
  std::wstring path(32768, L'\0');
  const DWORD n = GetModuleFileNameW(nullptr, path.data(), DWORD(path.size()));
  path.resize(n);
  return Utf8(path);
}

ProcessResult RunProcess(const std::string& program, const Args& args, const std::string& input,
                         const Args& extraEnv) {
  ProcessResult r;
  HANDLE inRead = nullptr, inWrite = nullptr, outRead = nullptr, outWrite = nullptr, errRead = nullptr,
         errWrite = nullptr;
  if (!Pipe(inRead, inWrite, true) || !Pipe(outRead, outWrite, false) || !Pipe(errRead, errWrite, false)) {
    ADD_FAILURE() << "no pipes";
    return r;
  }
  const std::wstring env = EnvironmentBlock(extraEnv);
  PROCESS_INFORMATION pi{};
  const bool started = Spawn(program, args, &env, inRead, outWrite, errWrite, pi);
  Close(inRead);
  Close(outWrite);
  Close(errWrite);
  EXPECT_TRUE(started) << "cannot start " << program << " (error " << GetLastError() << ")";
  if (!started) {
    for (HANDLE* h : {&inWrite, &outRead, &errRead}) Close(*h);
    return r;
  }
  // Both outputs are read on threads of their own while the input is
  // written, so that no pipe fills up and stalls the program.
  std::thread outReader(ReadAll, outRead, std::ref(r.out));
  std::thread errReader(ReadAll, errRead, std::ref(r.err));
  for (size_t done = 0; done < input.size();) {
    DWORD n = 0;
    if (!WriteFile(inWrite, input.data() + done, DWORD(std::min<size_t>(input.size() - done, 1 << 20)), &n,
                   nullptr) ||
        n == 0)
      break;
    done += n;
  }
  Close(inWrite);
  outReader.join();
  errReader.join();
  Close(outRead);
  Close(errRead);
  WaitForSingleObject(pi.hProcess, INFINITE);
  r.code = StatusOf(pi.hProcess);
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
  return r;
}

struct ChildProcess::Impl {
  HANDLE process = nullptr;
  HANDLE toChild = nullptr, fromChild = nullptr;
  int status = 0;
  std::string pending;  // read from the child, not yet returned as a line

  void Ended(int code) {
    status = code;
    Close(process);
    Close(toChild);
  }
};

ChildProcess::ChildProcess() : impl_(std::make_unique<Impl>()) {}

ChildProcess::~ChildProcess() {
  if (Running()) Kill();
  Close(impl_->toChild);
  Close(impl_->fromChild);
}

bool ChildProcess::Start(const std::string& program, const Args& args, const std::string& errPath) {
  HANDLE inRead = nullptr, inWrite = nullptr, outRead = nullptr, outWrite = nullptr, err = nullptr;
  if (!Pipe(inRead, inWrite, true) || !Pipe(outRead, outWrite, false)) return false;
  SECURITY_ATTRIBUTES sa{sizeof sa, nullptr, TRUE};
  if (!errPath.empty()) {
    err = CreateFileW(Wide(errPath).c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                      &sa, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  } else {
    DuplicateHandle(GetCurrentProcess(), GetStdHandle(STD_ERROR_HANDLE), GetCurrentProcess(), &err, 0, TRUE,
                    DUPLICATE_SAME_ACCESS);
  }
  PROCESS_INFORMATION pi{};
  const bool started = Spawn(program, args, nullptr, inRead, outWrite, err, pi);
  Close(inRead);
  Close(outWrite);
  Close(err);
  if (!started) {
    Close(inWrite);
    Close(outRead);
    return false;
  }
  CloseHandle(pi.hThread);
  impl_->process = pi.hProcess;
  impl_->toChild = inWrite;
  impl_->fromChild = outRead;
  return true;
}

bool ChildProcess::Running() const { return impl_->process != nullptr; }

bool ChildProcess::Send(const std::string& text) {
  size_t done = 0;
  while (impl_->toChild && done < text.size()) {
    DWORD n = 0;
    if (!WriteFile(impl_->toChild, text.data() + done, DWORD(text.size() - done), &n, nullptr) || n == 0)
      return false;
    done += n;
  }
  return done == text.size();
}

std::optional<std::string> ChildProcess::ReadLine() {
  for (;;) {
    const size_t end = impl_->pending.find('\n');
    if (end != std::string::npos) {
      std::string line = impl_->pending.substr(0, end);
      impl_->pending.erase(0, end + 1);
      if (!line.empty() && line.back() == '\r') line.pop_back();
      return line;
    }
    char buf[4096];
    DWORD n = 0;
    if (!impl_->fromChild || !ReadFile(impl_->fromChild, buf, sizeof buf, &n, nullptr) || n == 0)
      return std::nullopt;
    impl_->pending.append(buf, n);
  }
}

int ChildProcess::Wait() {
  Close(impl_->toChild);
  if (impl_->process) {
    WaitForSingleObject(impl_->process, INFINITE);
    impl_->Ended(StatusOf(impl_->process));
  }
  return impl_->status;
}

std::optional<int> ChildProcess::WaitFor(int ms) {
  Close(impl_->toChild);
  if (impl_->process) {
    if (WaitForSingleObject(impl_->process, DWORD(ms)) != WAIT_OBJECT_0) return std::nullopt;
    impl_->Ended(StatusOf(impl_->process));
  }
  return impl_->status;
}

int ChildProcess::Kill() {
  if (impl_->process) {
    // One that had ended already keeps its own exit status.
    const bool killed = WaitForSingleObject(impl_->process, 0) != WAIT_OBJECT_0 &&
                        TerminateProcess(impl_->process, 1) != 0;
    WaitForSingleObject(impl_->process, INFINITE);
    const int status = StatusOf(impl_->process);
    impl_->Ended(killed ? -1 : status < 0 ? -2 : status);
  }
  return impl_->status;
}

}  // namespace testsupport
