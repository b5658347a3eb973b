#include "platform/ChildProcess.h"

#include <windows.h>

#include <cstdio>

#include "platform/Files.h"
#include "platform/WindowsText.h"

namespace platform {

namespace {

bool isFile(const std::wstring& name) {
  const DWORD attributes = GetFileAttributesW(name.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// One argument as the C runtime's parser reads it back: in quotes, with the backslashes
// before a quote (and before the closing one) doubled.
void appendQuoted(std::wstring& line, const std::wstring& argument) {
  if (!argument.empty() && argument.find_first_of(L" \t\n\v\"") == std::wstring::npos) {
    line += argument;
    return;
  }
  line += L'"';
  size_t backslashes = 0;
  for (wchar_t c : argument) {
    if (c == L'\\') {
      ++backslashes;
      continue;
    }
    line.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
    backslashes = 0;
    line += c;
  }
  line.append(backslashes * 2, L'\\');
  line += L'"';
}

HANDLE handle(intptr_t value) { return reinterpret_cast<HANDLE>(value); }

}  // namespace

std::string findProgram(const std::string& name) {
  std::wstring file = widen(name);
  if (pathFromUtf8(name).extension().empty()) file += L".exe";
  if (name.find_first_of("/\\:") != std::string::npos) return isFile(file) ? narrow(file) : "";
  const DWORD length = GetEnvironmentVariableW(L"PATH", nullptr, 0);
  std::wstring folders(length, L'\0');
  folders.resize(GetEnvironmentVariableW(L"PATH", folders.data(), length));
  for (size_t at = 0; at < folders.size();) {
    const size_t end = std::min(folders.find(L';', at), folders.size());
    std::wstring folder = folders.substr(at, end - at);
    // A folder may be written in quotes, to hold a ';'.
    if (folder.size() >= 2 && folder.front() == L'"' && folder.back() == L'"') folder = folder.substr(1, folder.size() - 2);
    if (!folder.empty()) {
      const std::wstring candidate = folder + (folder.back() == L'\\' || folder.back() == L'/' ? L"" : L"\\") + file;
      if (isFile(candidate)) return narrow(candidate);
    }
    at = end + 1;
  }
  const std::filesystem::path beside = programFile().parent_path() / file;
  return !programFile().empty() && isFile(beside.wstring()) ? narrow(beside.wstring()) : "";
}

ChildProcess::~ChildProcess() { finish(); }

bool ChildProcess::start(const std::string& program, const std::vector<std::string>& arguments,
                         const std::string& log, std::string* error) {
  finish();
  SECURITY_ATTRIBUTES inherited{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
  HANDLE readEnd = nullptr, writeEnd = nullptr;
  // A pipe as large as a few rows of a frame, so that the writer thread hands over large
  // pieces at a time.
  if (!CreatePipe(&readEnd, &writeEnd, &inherited, 1 << 20)) {
    if (error) *error = systemMessage(GetLastError());
    return false;
  }
  // Only the child's end is inherited; this end stays here, so closing it ends the child's
  // input.
  SetHandleInformation(writeEnd, HANDLE_FLAG_INHERIT, 0);
  const std::wstring logName = log.empty() ? L"NUL" : widen(log);
  HANDLE output = CreateFileW(logName.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherited,
                              CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (log.empty()) {
    // Where this process's own messages go, when they go anywhere.
    HANDLE own = GetStdHandle(STD_ERROR_HANDLE);
    HANDLE copy = nullptr;
    if (own && own != INVALID_HANDLE_VALUE &&
        DuplicateHandle(GetCurrentProcess(), own, GetCurrentProcess(), &copy, 0, TRUE, DUPLICATE_SAME_ACCESS)) {
      if (output != INVALID_HANDLE_VALUE) CloseHandle(output);
      output = copy;
    }
  }
  if (output == INVALID_HANDLE_VALUE) {
    if (error) *error = log + ": " + systemMessage(GetLastError());
    CloseHandle(readEnd);
    CloseHandle(writeEnd);
    return false;
  }

  std::wstring line;
  appendQuoted(line, widen(program));
  for (const std::string& argument : arguments) {
    line += L' ';
    appendQuoted(line, widen(argument));
  }
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = readEnd;
  startup.hStdOutput = output;
  startup.hStdError = output;
  PROCESS_INFORMATION created{};
  // No console window flashes up for a console program started from a windowed one.
  const BOOL ok = CreateProcessW(widen(program).c_str(), line.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW,
                                 nullptr, nullptr, &startup, &created);
  const DWORD why = GetLastError();
  CloseHandle(readEnd);
  CloseHandle(output);
  if (!ok) {
    CloseHandle(writeEnd);
    if (error) *error = systemMessage(why);
    return false;
  }
  CloseHandle(created.hThread);
  process_ = reinterpret_cast<intptr_t>(created.hProcess);
  pipe_ = reinterpret_cast<intptr_t>(writeEnd);
  started_ = true;
  return true;
}

bool ChildProcess::write(const void* data, size_t size) {
  if (!started_ || !pipe_) return false;
  const auto* from = static_cast<const uint8_t*>(data);
  while (size > 0) {
    DWORD written = 0;
    const DWORD chunk = static_cast<DWORD>(std::min<size_t>(size, 1u << 30));
    if (!WriteFile(handle(pipe_), from, chunk, &written, nullptr) || written == 0) return false;
    from += written;
    size -= written;
  }
  return true;
}

ChildProcess::End ChildProcess::finish() {
  if (!started_) return {};
  CloseHandle(handle(pipe_));
  pipe_ = 0;
  WaitForSingleObject(handle(process_), INFINITE);
  DWORD code = 0;
  const bool known = GetExitCodeProcess(handle(process_), &code);
  CloseHandle(handle(process_));
  started_ = false;
  if (!known) return {false, "exit status unknown"};
  // Crashes end with an NTSTATUS, read in hexadecimal.
  char how[48];
  if (code >= 0xC0000000u) std::snprintf(how, sizeof how, "exit status 0x%08lX", static_cast<unsigned long>(code));
  else std::snprintf(how, sizeof how, "exit status %lu", static_cast<unsigned long>(code));
  return {code == 0, how};
}

}  // namespace platform
