// Throughput of reading every entry of an archive through archiveGet, the way the demo
// loads its data: (a) a stored, encrypted archive of about 50 MB written by the vkd
// writer, (b) the entries of the real LZ and multimedia RAR 2.0 archives, repeated 100
// times (5.6 MB of output each). Each is compared, in the same
// run, with unar extracting the same archive to tmpfs: "unar_MB/s" includes its process
// start, "unar_net_MB/s" subtracts the time unar takes for a near-empty archive.

#include <benchmark/benchmark.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "archive/RarArchive.h"
#include "archive/RarCrc.h"
#include "archive/RarWriter.h"
#include "archive/vkd.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

// A directory on tmpfs for the archives and unar's output, removed at exit.
struct Scratch {
  fs::path path;
  Scratch() {
    const fs::path base = fs::exists("/dev/shm") ? fs::path("/dev/shm") : fs::temp_directory_path();
    std::string pattern = (base / "vkd-bench.XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) std::abort();
    path = pattern;
  }
  ~Scratch() {
    std::error_code ignored;
    fs::remove_all(path, ignored);
  }
};

const fs::path& scratchRoot() {
  static const Scratch scratch;
  return scratch.path;
}

struct BenchArchive {
  std::string path;
  std::string password;
  std::vector<std::string> names;
  uint64_t bytes = 0;  // unpacked total
};

BenchArchive indexed(const std::string& path, const std::string& password) {
  BenchArchive archive{path, password, {}, 0};
  auto source = rar::FileSource::open(path.c_str());
  if (!source) return archive;
  for (const rar::Entry& entry : rar::readIndex(*source).entries) {
    if (entry.isDirectory()) continue;
    archive.names.push_back(entry.name);
    archive.bytes += entry.unpackedSize;
  }
  return archive;
}

// About 50 MB in 400 files of mixed sizes, packed as `vkd pack -p lynxa42` would.
const BenchArchive& storedArchive() {
  static const BenchArchive archive = [] {
    const std::string path = (scratchRoot() / "data.vkd").string();
    const rar::ArchiveWriter writer("lynxa42");
    std::FILE* out = std::fopen(path.c_str(), "wb");
    auto write = [&](const std::vector<uint8_t>& bytes) { std::fwrite(bytes.data(), 1, bytes.size(), out); };
    write(writer.start());
    std::mt19937 random(42);
    std::vector<uint8_t> data;
    for (int i = 0; i < 400; ++i) {
      data.resize(size_t(1000 + (i * 7919) % 250000));
      for (uint8_t& b : data) b = uint8_t(random());
      const std::string name = "data\\textures\\file" + std::to_string(i) + ".bin";
      write(writer.entry({name, data.data(), data.size(), 0x00210000}));
    }
    write(writer.end());
    std::fclose(out);
    return indexed(path, "lynxa42");
  }();
  return archive;
}

// The entries of a real archive copied `copies` times under folders copy0..copyN, so the
// comparison with unar is about decoding rather than process start. Packed data is
// copied as it is; only the names (and so the header sizes and checks) change.
const BenchArchive& repeatedArchive(const std::string& name, int copies) {
  static std::map<std::string, BenchArchive> archives;
  if (auto it = archives.find(name); it != archives.end()) return it->second;
  const std::string from = DE_TESTDATA_DIR "/rar20/" + name;
  const std::string path = (scratchRoot() / ("repeated-" + name)).string();
  auto source = rar::FileSource::open(from.c_str());
  if (!source) return archives[name];
  const rar::ArchiveIndex index = rar::readIndex(*source);
  std::vector<uint8_t> out = rar::ArchiveWriter("").start();
  for (int copy = 0; copy < copies; ++copy) {
    for (const rar::Entry& entry : index.entries) {
      std::vector<uint8_t> header(rar::kFileHeaderSize);
      source->readAt(entry.headerOffset, header.data(), header.size());
      const std::string newName = "copy" + std::to_string(copy) + "\\" + entry.name;
      const size_t size = rar::kFileHeaderSize + newName.size();
      header[3] &= uint8_t(~rar::kFileHasComment);
      header[5] = uint8_t(size);
      header[6] = uint8_t(size >> 8);
      header[26] = uint8_t(newName.size());
      header[27] = uint8_t(newName.size() >> 8);
      header.insert(header.end(), newName.begin(), newName.end());
      const uint16_t crc = rar::headerCrc(header.data() + 2, header.size() - 2);
      header[0] = uint8_t(crc);
      header[1] = uint8_t(crc >> 8);
      std::vector<uint8_t> data(entry.packedSize);
      source->readAt(entry.dataOffset, data.data(), data.size());
      out.insert(out.end(), header.begin(), header.end());
      out.insert(out.end(), data.begin(), data.end());
    }
  }
  const auto end = rar::ArchiveWriter("").end();
  out.insert(out.end(), end.begin(), end.end());
  std::FILE* file = std::fopen(path.c_str(), "wb");
  std::fwrite(out.data(), 1, out.size(), file);
  std::fclose(file);
  return archives[name] = indexed(path, "");
}

double secondsOfCommand(const std::string& command) {
  const auto start = Clock::now();
  const int status = std::system(command.c_str());
  const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  return (status == 0) ? seconds : -1;
}

struct UnarFigures {
  double mbps = 0, netMbps = 0;
};

// Best of a few runs of `unar` extracting the archive to tmpfs.
UnarFigures unarFigures(const BenchArchive& archive) {
  static std::map<std::string, UnarFigures> known;
  if (auto it = known.find(archive.path); it != known.end()) return it->second;
  UnarFigures figures;
  if (std::system("command -v unar >/dev/null 2>&1") != 0) return known[archive.path] = figures;
  const fs::path out = scratchRoot() / "unar-out";
  auto best = [&](const std::string& path, const std::string& password) {
    double fastest = 1e9;
    for (int run = 0; run < 5; ++run) {
      fs::remove_all(out);
      const std::string p = password.empty() ? "" : "-p '" + password + "' ";
      const double s = secondsOfCommand("unar -q -nr -D -f " + p + "-o '" + out.string() + "' '" + path + "' >/dev/null 2>&1");
      if (s > 0 && s < fastest) fastest = s;
    }
    return fastest;
  };
  // A near-empty archive: what unar costs before it reads a byte.
  const double startup = best(DE_TESTDATA_DIR "/rar20/rarfile-rar202-comment-nopsw.rar", "");
  const double whole = best(archive.path, archive.password);
  figures.mbps = double(archive.bytes) / whole / 1e6;
  figures.netMbps = whole > startup ? double(archive.bytes) / (whole - startup) / 1e6 : 0;
  return known[archive.path] = figures;
}

void readEveryEntry(benchmark::State& state, const BenchArchive& archive) {
  if (archive.names.empty()) {
    state.SkipWithError("archive missing");
    return;
  }
  uint64_t bytes = 0;
  const auto start = Clock::now();
  for (auto _ : state) {
    for (const std::string& name : archive.names) {
      uint8_t* data = nullptr;
      uint32_t size = 0;
      if (archiveGet(name.c_str(), archive.path.c_str(), archive.password.c_str(), &data, &size) != 1) {
        state.SkipWithError(("could not read " + name).c_str());
        return;
      }
      benchmark::DoNotOptimize(data);
      std::free(data);
      bytes += size;
    }
  }
  const double ours = double(bytes) / std::chrono::duration<double>(Clock::now() - start).count() / 1e6;
  state.SetBytesProcessed(int64_t(bytes));
  const UnarFigures unar = unarFigures(archive);
  state.counters["vkd_MB/s"] = ours;
  state.counters["unar_MB/s"] = unar.mbps;
  state.counters["unar_net_MB/s"] = unar.netMbps;
  state.counters["ratio_vs_unar"] = unar.mbps > 0 ? ours / unar.mbps : 0;
  state.counters["ratio_vs_unar_net"] = unar.netMbps > 0 ? ours / unar.netMbps : 0;
}

void BM_StoredEncrypted50MB(benchmark::State& state) { readEveryEntry(state, storedArchive()); }
void BM_RealLzRepeated(benchmark::State& state) {
  readEveryEntry(state, repeatedArchive("junrar-BoatModernEnglish-regular-unpack20.rar", 100));
}
void BM_RealMultimediaRepeated(benchmark::State& state) {
  readEveryEntry(state, repeatedArchive("junrar-BoatModernEnglish-audio-text-unpack20.rar", 100));
}

BENCHMARK(BM_StoredEncrypted50MB)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_RealLzRepeated)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_RealMultimediaRepeated)->Unit(benchmark::kMillisecond)->MinTime(2.0);

}  // namespace
