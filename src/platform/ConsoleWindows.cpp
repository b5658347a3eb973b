#include "platform/Console.h"

#include <windows.h>
#include <shellapi.h>

#include <cstdio>
#include <cstdlib>

#include "platform/Files.h"
#include "platform/WindowsText.h"

namespace platform {

std::vector<std::string> programArguments(int argc, char** argv) {
  int count = 0;
  wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
  if (!wide) return argv ? std::vector<std::string>(argv, argv + argc) : std::vector<std::string>();
  std::vector<std::string> arguments;
  for (int i = 0; i < count; ++i) arguments.push_back(narrow(wide[i]));
  LocalFree(wide);
  return arguments;
}

namespace {

std::string gatheredFile;
std::wstring gatheredCaption;

// Everything printed, in a box, when nobody could see it printed.
void showGathered() {
  std::fflush(stdout);
  std::fflush(stderr);
  std::string text;
  if (std::FILE* in = openFile(gatheredFile, "rb")) {
    char buffer[4096];
    for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, in)) > 0;) text.append(buffer, n);
    std::fclose(in);
  }
  std::fclose(stdout);
  std::fclose(stderr);
  DeleteFileW(widen(gatheredFile).c_str());
  if (text.empty()) return;
  MessageBoxW(nullptr, widen(text).c_str(), gatheredCaption.c_str(), MB_OK | MB_ICONINFORMATION);
}

// A stream goes somewhere already when the caller redirected it into a file or a pipe.
bool goesSomewhere(DWORD which) {
  const HANDLE handle = GetStdHandle(which);
  return handle && handle != INVALID_HANDLE_VALUE && GetFileType(handle) != FILE_TYPE_UNKNOWN;
}

}  // namespace

void connectConsole(const char* caption) {
  const bool out = goesSomewhere(STD_OUTPUT_HANDLE), err = goesSomewhere(STD_ERROR_HANDLE);
  if (out && err) return;
  if (AttachConsole(ATTACH_PARENT_PROCESS)) {
    // The text is UTF-8 throughout.
    SetConsoleOutputCP(CP_UTF8);
    if (!out) std::freopen("CONOUT$", "w", stdout);
    if (!err) std::freopen("CONOUT$", "w", stderr);
    return;
  }
  gatheredFile = makeTemporaryFile("demoengine-messages-");
  if (gatheredFile.empty()) return;
  gatheredCaption = widen(caption);
  // Both streams into one file, in the order printed.
  const std::wstring name = widen(gatheredFile);
  if (!out && _wfreopen(name.c_str(), L"a", stdout)) std::setvbuf(stdout, nullptr, _IONBF, 0);
  if (!err && _wfreopen(name.c_str(), L"a", stderr)) std::setvbuf(stderr, nullptr, _IONBF, 0);
  std::atexit(showGathered);
}

}  // namespace platform
