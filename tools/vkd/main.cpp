// vkd: packs a directory tree into a demo data archive (RAR 2.0, stored entries, the
// RAR 2.0 cipher when a password is given) and lists, extracts and tests such archives,
// reading them with the same code the player uses.

#include <CLI/CLI.hpp>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "archive/RarArchive.h"
#include "archive/RarWriter.h"
#include "platform/Console.h"
#include "platform/Files.h"
#include "version/Version.h"

namespace fs = std::filesystem;

namespace {

void complain(const std::string& message) { std::fprintf(stderr, "vkd: %s\n", message.c_str()); }

std::string errnoText() { return std::strerror(errno); }

// A path as the person gave or sees it: UTF-8 on every system.
std::string text(const fs::path& path) { return platform::utf8FromPath(path); }

bool readWholeFile(const fs::path& path, std::vector<uint8_t>& bytes) {
  std::FILE* file = platform::openFile(text(path), "rb");
  if (file == nullptr) return false;
  bytes.clear();
  uint8_t chunk[1 << 16];
  size_t got;
  while ((got = std::fread(chunk, 1, sizeof chunk, file)) > 0) bytes.insert(bytes.end(), chunk, chunk + got);
  const bool ok = !std::ferror(file);
  std::fclose(file);
  return ok;
}

// [SECTION] pack

struct PackInput {
  std::string name;  // stored form, '\' separated
  fs::path path;
  std::time_t mtime = 0;
};

// The regular files under `root`, sorted by stored name so that unchanged input gives
// byte-identical archives.
bool collectFiles(const fs::path& root, const fs::path& output, std::vector<PackInput>& files) {
  std::error_code error;
  fs::recursive_directory_iterator it(root, error), end;
  if (error) {
    complain(text(root) + ": " + error.message());
    return false;
  }
  bool ok = true;
  for (; it != end; it.increment(error)) {
    if (error) break;
    const fs::directory_entry& item = *it;
    if (item.is_directory(error)) continue;
    if (!item.is_regular_file(error)) {
      complain("skipping " + text(item.path()) + ": not a regular file");
      continue;
    }
    std::error_code same;
    if (fs::equivalent(item.path(), output, same)) continue;  // an old archive inside DIR

    const std::string relative = item.path().lexically_relative(root).generic_string();
    if (relative.find('\\') != std::string::npos) {
      complain(relative + ": '\\' in a file name cannot be stored (it separates directories)");
      ok = false;
      continue;
    }
    PackInput input;
    input.name = relative;
    std::replace(input.name.begin(), input.name.end(), '/', '\\');
    if (input.name.size() > rar::kMaxNameLength) {
      complain(relative + ": name longer than " + std::to_string(rar::kMaxNameLength) + " bytes");
      ok = false;
      continue;
    }
    const uintmax_t size = item.file_size(error);
    const fs::file_time_type modified = item.last_write_time(error);
    if (error) {
      complain(text(item.path()) + ": " + error.message());
      ok = false;
      continue;
    }
    if (size > rar::kMaxEntrySize) {
      complain(relative + ": larger than the 1 GiB an entry may hold");
      ok = false;
      continue;
    }
    input.path = item.path();
    input.mtime = std::chrono::system_clock::to_time_t(std::chrono::file_clock::to_sys(modified));
    files.push_back(std::move(input));
  }
  if (error) {
    complain(text(root) + ": " + error.message());
    return false;
  }
  std::sort(files.begin(), files.end(),
            [](const PackInput& a, const PackInput& b) { return a.name < b.name; });

  // The player finds files by name without regard to case or separator: a second name
  // that differs only in those could never be read.
  std::unordered_map<std::string, std::string> seen;
  for (const PackInput& file : files) {
    auto [where, added] = seen.emplace(rar::nameKey(file.name), file.name);
    if (!added) {
      complain(file.name + " and " + where->second + " differ only in case: the player cannot tell them apart");
      ok = false;
    }
  }
  return ok;
}

int pack(const std::string& password, const std::string& output, const std::string& directory,
         std::optional<int64_t> fixedTime) {
  std::error_code error;
  if (!fs::is_directory(platform::pathFromUtf8(directory), error)) {
    complain(directory + ": not a directory");
    return 1;
  }
  std::vector<PackInput> files;
  if (!collectFiles(platform::pathFromUtf8(directory), platform::pathFromUtf8(output), files)) return 1;

  // Written beside the target and renamed at the end: an interrupted run leaves the old
  // archive (or none), never half of one.
  const std::string temporary = platform::makeTemporaryFileBeside(output);
  if (temporary.empty()) {
    complain(output + ": " + errnoText());
    return 1;
  }
  std::FILE* out = platform::openFile(temporary, "wb");
  const rar::ArchiveWriter writer(password);
  auto write = [&](const std::vector<uint8_t>& bytes) {
    return std::fwrite(bytes.data(), 1, bytes.size(), out) == bytes.size();
  };

  bool ok = out != nullptr && write(writer.start());
  uint64_t total = 0;
  std::vector<uint8_t> bytes;
  for (const PackInput& file : files) {
    if (!ok) break;
    if (!readWholeFile(file.path, bytes)) {
      complain(text(file.path) + ": " + errnoText());
      ok = false;
      break;
    }
    if (bytes.size() > rar::kMaxEntrySize) {
      complain(text(file.path) + ": grew past 1 GiB while being packed");
      ok = false;
      break;
    }
    rar::StoredFile stored{file.name, bytes.data(), bytes.size(),
                           rar::dosTimeFromUnix(fixedTime ? std::time_t(*fixedTime) : file.mtime)};
    ok = write(writer.entry(stored));
    total += bytes.size();
  }
  ok = ok && write(writer.end());
  if (out != nullptr) ok = (std::fclose(out) == 0) && ok;
  if (ok) {
    std::string why;
    ok = platform::replaceFile(temporary, output, &why);
    if (!ok) complain(output + ": " + why);
  } else {
    complain(output + ": could not write the archive");
  }
  if (!ok) {
    fs::remove(platform::pathFromUtf8(temporary), error);
    return 1;
  }
  std::printf("vkd: packed %zu files (%llu bytes) into %s\n", files.size(),
              static_cast<unsigned long long>(total), output.c_str());
  return 0;
}

// [SECTION] Reading archives

struct OpenedArchive {
  std::unique_ptr<rar::FileSource> source;
  std::unique_ptr<rar::ArchiveReader> reader;
};

std::optional<OpenedArchive> openForReading(const std::string& path) {
  OpenedArchive archive;
  archive.source = rar::FileSource::open(path.c_str());
  if (!archive.source) {
    complain(path + ": cannot open (" + errnoText() + ")");
    return std::nullopt;
  }
  archive.reader = std::make_unique<rar::ArchiveReader>(rar::readIndex(*archive.source));
  if (!archive.reader->index().valid) {
    complain(path + ": not a RAR 2.x archive");
    return std::nullopt;
  }
  return archive;
}

// Damage after the last entry: whatever the walk stopped at other than the end.
bool reportWalkEnd(const std::string& path, const rar::ArchiveIndex& index) {
  switch (index.end) {
    case rar::WalkEnd::EndBlock:
    case rar::WalkEnd::EndOfFile: return true;
    case rar::WalkEnd::Truncated: complain(path + ": truncated after the listed entries"); return false;
    case rar::WalkEnd::BadHeader: complain(path + ": damaged header after the listed entries"); return false;
  }
  return false;
}

std::string dosTimeText(uint32_t t) {
  char text[32];
  std::snprintf(text, sizeof text, "%04u-%02u-%02u %02u:%02u:%02u", (t >> 25) + 1980, (t >> 21) & 15,
                (t >> 16) & 31, (t >> 11) & 31, (t >> 5) & 63, (t & 31) * 2);
  return text;
}

int list(const std::string& path) {
  auto archive = openForReading(path);
  if (!archive) return 1;
  const rar::ArchiveIndex& index = archive->reader->index();
  std::printf("%s: RAR 2.x archive%s, %zu entries\n", path.c_str(), index.isSolid() ? " (solid)" : "",
              index.entries.size());
  std::printf("%12s %12s %-6s %-19s %-8s %s\n", "Size", "Packed", "Method", "Modified", "CRC32", "Name");
  for (const rar::Entry& e : index.entries) {
    char method[8];
    if (e.isDirectory()) std::snprintf(method, sizeof method, "dir");
    else if (e.isStored()) std::snprintf(method, sizeof method, "store");
    else std::snprintf(method, sizeof method, "m%c", e.method >= 0x30 && e.method <= 0x39 ? e.method : '?');
    std::printf("%12llu %12llu %-6s %-19s %08x %s%s%s\n", static_cast<unsigned long long>(e.unpackedSize),
                static_cast<unsigned long long>(e.packedSize), method, dosTimeText(e.fileTime).c_str(), e.crc,
                e.name.c_str(), e.isEncrypted() ? "  [encrypted]" : "",
                e.version > rar::kMaxVersion || e.version < rar::kMinVersion ? "  [unsupported version]" : "");
  }
  return reportWalkEnd(path, index) ? 0 : 1;
}

int test(const std::string& password, const std::string& path) {
  auto archive = openForReading(path);
  if (!archive) return 1;
  const rar::ArchiveIndex& index = archive->reader->index();
  size_t failed = 0, tested = 0;
  if (!index.mainHeaderCrcOk) {
    complain(path + ": main header CRC mismatch");
    ++failed;
  }
  for (size_t i = 0; i < index.entries.size(); ++i) {
    const rar::Entry& entry = index.entries[i];
    if (entry.isDirectory()) continue;
    ++tested;
    rar::Block block;
    rar::Status status = archive->reader->extract(*archive->source, i, password, block);
    if (status == rar::Status::Ok && !entry.headerCrcOk) {
      complain(entry.name + ": header CRC mismatch");
      ++failed;
    } else if (status != rar::Status::Ok) {
      complain(entry.name + ": " + rar::statusText(status));
      ++failed;
    }
  }
  if (!reportWalkEnd(path, index)) ++failed;
  std::printf("vkd: %s: %zu entries tested, %zu failures\n", path.c_str(), tested, failed);
  return failed == 0 ? 0 : 1;
}

// [SECTION] extract

// The entry's path as components under the target directory, or nothing when the name
// could point anywhere else (absolute, or with a ".." step).
std::optional<std::vector<std::string>> safeComponents(const std::string& name) {
  if (name.empty() || name[0] == '/' || name[0] == '\\') return std::nullopt;
  std::vector<std::string> parts;
  std::string part;
  for (size_t i = 0; i <= name.size(); ++i) {
    if (i == name.size() || name[i] == '/' || name[i] == '\\') {
      if (part == "..") return std::nullopt;
      if (!part.empty() && part != ".") parts.push_back(part);
      part.clear();
    } else {
      part += name[i];
    }
  }
  if (parts.empty()) return std::nullopt;
  return parts;
}

// Creates (or accepts) each directory along `parts`, refusing anything that is not a
// real directory, so that a symbolic link in the way cannot lead outside the target.
bool makeDirectories(const fs::path& root, const std::vector<std::string>& parts, size_t count,
                     std::string& problem) {
  fs::path at = root;
  for (size_t i = 0; i < count; ++i) {
    at /= parts[i];
    std::error_code error;
    const fs::file_status status = fs::symlink_status(at, error);
    if (fs::exists(status)) {
      if (fs::is_directory(status)) continue;
      problem = text(at) + " is in the way (not a directory)";
      return false;
    }
    if (!fs::create_directory(at, error)) {
      problem = text(at) + ": " + (error ? error.message() : "cannot be made");
      return false;
    }
  }
  return true;
}

bool writeNewFile(const fs::path& path, const rar::Block& block, uint32_t dosTime, std::string& problem) {
  std::error_code error;
  const fs::file_status status = fs::symlink_status(path, error);
  if (fs::is_directory(status)) {
    problem = text(path) + " is a directory";
    return false;
  }
  // Replaced, never written through (it may be a link).
  if (fs::exists(status) || fs::is_symlink(status)) fs::remove(path, error);
  std::string why;
  if (!platform::writeWholeFile(text(path).c_str(), block.data(), block.size(), &why)) {
    problem = text(path) + ": " + why;
    return false;
  }
  // The entry's time, a DOS time in UTC.
  using namespace std::chrono;
  const year_month_day day{year(int(dosTime >> 25) + 1980), month((dosTime >> 21) & 15), std::chrono::day((dosTime >> 16) & 31)};
  if (day.ok()) {
    const sys_seconds at = sys_days(day) + hours((dosTime >> 11) & 31) + minutes((dosTime >> 5) & 63) +
                           seconds((dosTime & 31) * 2);
    fs::last_write_time(path, file_clock::from_sys(at), error);
  }
  return true;
}

int extract(const std::string& password, const std::string& path, const std::string& directory) {
  auto archive = openForReading(path);
  if (!archive) return 1;
  const fs::path root = platform::pathFromUtf8(directory);
  std::error_code error;
  fs::create_directories(root, error);
  if (!fs::is_directory(root, error)) {
    complain(directory + ": not a directory");
    return 1;
  }
  const rar::ArchiveIndex& index = archive->reader->index();
  size_t failed = 0, written = 0;
  for (size_t i = 0; i < index.entries.size(); ++i) {
    const rar::Entry& entry = index.entries[i];
    const auto parts = safeComponents(entry.name);
    if (!parts) {
      complain(entry.name + ": unsafe path, not extracted");
      ++failed;
      continue;
    }
    std::string problem;
    if (entry.isDirectory()) {
      if (!makeDirectories(root, *parts, parts->size(), problem)) {
        complain(problem);
        ++failed;
      }
      continue;
    }
    rar::Block block;
    const rar::Status status = archive->reader->extract(*archive->source, i, password, block);
    if (status != rar::Status::Ok) {
      complain(entry.name + ": " + rar::statusText(status));
      ++failed;
      continue;
    }
    fs::path target = root;
    for (const std::string& part : *parts) target /= part;
    if (!makeDirectories(root, *parts, parts->size() - 1, problem) ||
        !writeNewFile(target, block, entry.fileTime, problem)) {
      complain(problem);
      ++failed;
      continue;
    }
    ++written;
  }
  if (!reportWalkEnd(path, index)) ++failed;
  if (failed > 0) complain(std::to_string(failed) + " entries failed, " + std::to_string(written) + " extracted");
  return failed == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{"vkd - packs, lists, extracts and tests demo data archives (RAR 2.0).\n"
               "Entries are stored, and encrypted with the RAR 2.0 cipher when a password is given."};
  app.require_subcommand(1);
  app.set_version_flag("--version", versionText("vkd"), "Print the version and exit");

  std::string password, output, directory, archive, target = ".";
  std::optional<int64_t> fixedTime;

  CLI::App* packCommand = app.add_subcommand("pack", "Pack every file under DIR into ARCHIVE");
  packCommand->add_option("-p,--password", password, "Encrypt the entries with this password");
  packCommand
      ->add_option("--mtime", fixedTime,
                   "Give every entry this time (seconds since 1970, UTC) instead of the file's own; "
                   "use it for archives that must not change when only file times do")
      ->check(CLI::Range(int64_t{0}, int64_t{4354819199}));
  packCommand->add_option("ARCHIVE", output, "The archive to write (replaced if it exists)")->required();
  packCommand->add_option("DIR", directory, "The directory to pack; names are stored relative to it")
      ->required();

  CLI::App* listCommand = app.add_subcommand("list", "List the entries of ARCHIVE");
  listCommand->add_option("ARCHIVE", archive, "The archive to list")->required();

  CLI::App* extractCommand = app.add_subcommand("extract", "Extract every entry of ARCHIVE into DIR");
  extractCommand->add_option("-p,--password", password, "Password of encrypted entries");
  extractCommand->add_option("ARCHIVE", archive, "The archive to read")->required();
  extractCommand->add_option("DIR", target, "Where to extract (default: the current directory)");

  CLI::App* testCommand = app.add_subcommand("test", "Check every entry's CRC; exit 1 on any failure");
  testCommand->add_option("-p,--password", password, "Password of encrypted entries");
  testCommand->add_option("ARCHIVE", archive, "The archive to test")->required();

  // The arguments in UTF-8 whatever the system's code page.
  const std::vector<std::string> given = platform::programArguments(argc, argv);
  std::vector<const char*> arguments;
  for (const std::string& argument : given) arguments.push_back(argument.c_str());
  try {
    app.parse(static_cast<int>(arguments.size()), arguments.data());
  } catch (const CLI::ParseError& e) {
    const int code = app.exit(e);
    return code == 0 ? 0 : 2;
  }

  if (packCommand->parsed()) return pack(password, output, directory, fixedTime);
  if (listCommand->parsed()) return list(archive);
  if (extractCommand->parsed()) return extract(password, archive, target);
  return test(password, archive);
}
