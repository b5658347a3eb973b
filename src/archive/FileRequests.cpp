#include "archive/FileRequests.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <mutex>

namespace {

std::atomic<bool> recording{false};
std::mutex recordedMutex;
std::vector<std::string> recorded;

}  // namespace

void setFileRecording(bool on) { recording = on; }

void recordFileRequest(const std::string& path) {
  if (!recording) return;
  std::lock_guard<std::mutex> lock(recordedMutex);
  recorded.push_back(path);
}

std::vector<std::string> takeRecordedFiles() {
  std::vector<std::string> files;
  {
    std::lock_guard<std::mutex> lock(recordedMutex);
    files.swap(recorded);
  }
  std::sort(files.begin(), files.end());
  files.erase(std::unique(files.begin(), files.end()), files.end());
  return files;
}

std::string dataFileKey(const std::string& path) {
  std::string key = path;
  std::replace(key.begin(), key.end(), '\\', '/');
  while (key.compare(0, 2, "./") == 0) key.erase(0, 2);
  for (char& c : key) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return key;
}
