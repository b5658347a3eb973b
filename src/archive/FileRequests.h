#pragma once
// Which data files a load asked for (found or not: a file that is missing now is the one an
// authoring mode waits for), and the rule by which two names mean the same data file. A
// normal run records nothing; recordFileRequest is then one flag test.

#include <string>
#include <vector>

// While on, every data file request is recorded (from any thread).
void setFileRecording(bool on);
void recordFileRequest(const std::string& path);
// The paths recorded since the last call, sorted and distinct.
std::vector<std::string> takeRecordedFiles();

// The key under which two paths name the same data file, by the rule the archive matches
// names with: '\' and '/' alike, letters in one case, a leading "./" dropped.
std::string dataFileKey(const std::string& path);
