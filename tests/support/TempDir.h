#pragma once
// A fresh directory under the system's temporary folder, removed with everything in it when
// the object goes. WorkingDirectory additionally makes it the current directory for its
// lifetime, as the data files of a demo are read relative to it.

#include <filesystem>
#include <string>

class TempDir {
 public:
  explicit TempDir(const std::string& prefix = "demoengine_test");
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::filesystem::path& path() const { return path_; }
  std::string str() const { return path_.string(); }
  std::filesystem::path operator/(const std::string& relative) const { return path_ / relative; }
  std::string file(const std::string& relative) const { return (path_ / relative).string(); }
  // Writes `content` to the relative path, creating the folders on the way.
  void write(const std::string& relative, const std::string& content) const;

 private:
  std::filesystem::path path_;
};

class WorkingDirectory {
 public:
  explicit WorkingDirectory(const std::string& prefix = "demoengine_test");
  ~WorkingDirectory();
  const TempDir& dir() const { return dir_; }
  void write(const std::string& relative, const std::string& content) const {
    dir_.write(relative, content);
  }

 private:
  TempDir dir_;
  std::filesystem::path previous_;
};
