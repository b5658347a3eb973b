#pragma once
// Between the UTF-8 the programs hold and the UTF-16 Windows takes, for the Windows files of
// this folder only.

#include <string>

namespace platform {

std::wstring widen(const std::string& utf8);
std::string narrow(const std::wstring& utf16);
// The system's text for an error code (GetLastError, WSAGetLastError), one line.
std::string systemMessage(unsigned long code);

}  // namespace platform
