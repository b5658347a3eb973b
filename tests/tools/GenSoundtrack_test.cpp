// The soundtrack generator run as the build runs it: a two-minute 44.1 kHz stereo Ogg
// Vorbis file, the same bytes on every run, never clipping, with its kick on the beat of
// the demo script (DEMO_BEAT) and its sections starting where the script's parts start.

#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vorbis/vorbisfile.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

const std::string kTool = std::string(DE_BINARY_DIR) + "/tools/gen-soundtrack/gen-soundtrack";
const std::string kScripts = std::string(DE_SOURCE_DIR) + "/demo/data/scripts/";

int run(const std::string& command) {
  int status = std::system(command.c_str());
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::vector<char> fileBytes(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// ctest runs every case in a process of its own: the soundtrack is rendered once per build
// of the generator and shared, under a lock, by the cases that only read it.
int sharedOutput(const fs::path& out) {
  fs::create_directories(out.parent_path());
  int lock = ::open((out.string() + ".lock").c_str(), O_CREAT | O_RDWR, 0644);
  ::flock(lock, LOCK_EX);
  std::string stamp = std::to_string(fs::last_write_time(kTool).time_since_epoch().count()) + " " +
                      std::to_string(fs::file_size(kTool));
  fs::path stampFile = out.string() + ".stamp";
  std::vector<char> old = fileBytes(stampFile);
  int status = 0;
  if (std::string(old.begin(), old.end()) != stamp || !fs::exists(out)) {
    fs::remove(stampFile);
    status = run(kTool + " " + out.string());
    if (status == 0) std::ofstream(stampFile) << stamp;
  }
  ::flock(lock, LOCK_UN);
  ::close(lock);
  return status;
}

// The names a script file gives numbers to: DEMO_BEAT and the DEFINEs with plain values.
std::map<std::string, long> scriptNumbers(const std::string& file) {
  std::map<std::string, long> out;
  std::ifstream in(kScripts + file);
  std::string line;
  while (std::getline(in, line)) {
    std::istringstream words(line);
    std::string keyword, name;
    long value;
    words >> keyword;
    if (keyword == "DEFINE" && (words >> name >> value)) out[name] = value;
    if ((keyword == "DEMO_BEAT" || keyword == "DEMO_END") && (words >> value)) out[keyword] = value;
  }
  return out;
}

struct Decoded {
  int channels = 0;
  long rate = 0;
  long long frames = 0;
  std::vector<float> left, right;
};

bool decode(const fs::path& path, Decoded& out) {
  OggVorbis_File vf;
  if (ov_fopen(path.c_str(), &vf) != 0) return false;
  vorbis_info* info = ov_info(&vf, -1);
  out.channels = info->channels;
  out.rate = info->rate;
  out.frames = ov_pcm_total(&vf, -1);
  int section = 0;
  for (;;) {
    float** pcm = nullptr;
    long n = ov_read_float(&vf, &pcm, 4096, &section);
    if (n <= 0) break;
    out.left.insert(out.left.end(), pcm[0], pcm[0] + n);
    out.right.insert(out.right.end(), pcm[out.channels > 1 ? 1 : 0], pcm[out.channels > 1 ? 1 : 0] + n);
  }
  ov_clear(&vf);
  return true;
}

class GenSoundtrack : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    file_ = new fs::path(fs::path(DE_BINARY_DIR) / "tools-test" / "soundtrack.ogg");
    status_ = sharedOutput(*file_);
    audio_ = new Decoded;
    decoded_ = status_ == 0 && decode(*file_, *audio_);
    numbers_ = new std::map<std::string, long>(scriptNumbers("defs.script"));
    for (auto& [k, v] : scriptNumbers("demo_kx06.script")) (*numbers_)[k] = v;
  }
  static void TearDownTestSuite() {
    delete file_;
    delete audio_;
    delete numbers_;
  }
  void SetUp() override {
    ASSERT_EQ(status_, 0) << kTool << " failed";
    ASSERT_TRUE(decoded_) << "libvorbisfile cannot read the soundtrack";
  }

  static long number(const std::string& name) {
    auto it = numbers_->find(name);
    EXPECT_NE(it, numbers_->end()) << name << " is not in the demo script";
    return it == numbers_->end() ? 0 : it->second;
  }
  static size_t frameAt(long ms) { return size_t(ms) * 441 / 10; }

  // Low-band (kick) energy folded over one beat: bin i holds the mean energy of the
  // 10 ms slice starting i × 10 ms after each beat of [fromMs, toMs).
  static std::vector<double> beatProfile(long fromMs, long toMs, long beatMs) {
    const size_t slice = 441;  // 10 ms
    size_t bins = size_t(beatMs / 10);
    std::vector<double> profile(bins, 0.0);
    std::vector<int> counts(bins, 0);
    // A two-pole low-pass at about 120 Hz keeps the kick and drops hats, claps and pads.
    double a = 1.0 - std::exp(-2.0 * 3.14159265 * 120.0 / 44100.0);
    double s1 = 0.0, s2 = 0.0;
    size_t begin = frameAt(fromMs), end = frameAt(toMs);
    std::vector<double> energy;
    double acc = 0.0;
    for (size_t i = begin; i < end; ++i) {
      double x = 0.5 * (double(audio_->left[i]) + double(audio_->right[i]));
      s1 += a * (x - s1);
      s2 += a * (s1 - s2);
      acc += s2 * s2;
      if ((i - begin + 1) % slice == 0) {
        energy.push_back(acc);
        acc = 0.0;
      }
    }
    for (size_t k = 0; k < energy.size(); ++k) {
      size_t bin = k % bins;
      profile[bin] += energy[k];
      counts[bin] += 1;
    }
    for (size_t b = 0; b < bins; ++b) profile[b] /= std::max(1, counts[b]);
    return profile;
  }
  // How far the beat's strongest slice stands above the typical one.
  static double contrast(const std::vector<double>& p) {
    std::vector<double> sorted = p;
    std::sort(sorted.begin(), sorted.end());
    return *std::max_element(p.begin(), p.end()) / sorted[sorted.size() / 2];
  }
  static double rms(long fromMs, long toMs) {
    double sum = 0.0;
    size_t begin = frameAt(fromMs), end = frameAt(toMs);
    for (size_t i = begin; i < end; ++i)
      sum += double(audio_->left[i]) * audio_->left[i] + double(audio_->right[i]) * audio_->right[i];
    return std::sqrt(sum / double(2 * (end - begin)));
  }

  static fs::path* file_;
  static int status_;
  static bool decoded_;
  static Decoded* audio_;
  static std::map<std::string, long>* numbers_;
};

fs::path* GenSoundtrack::file_ = nullptr;
int GenSoundtrack::status_ = -1;
bool GenSoundtrack::decoded_ = false;
Decoded* GenSoundtrack::audio_ = nullptr;
std::map<std::string, long>* GenSoundtrack::numbers_ = nullptr;

}  // namespace

TEST_F(GenSoundtrack, IsThreeMinutesOfStereoAt44100) {
  EXPECT_EQ(audio_->channels, 2);
  EXPECT_EQ(audio_->rate, 44100);
  EXPECT_EQ(audio_->frames, 7913304);  // 92 bars of 1.92 s and 2.8 s of tail: 179.44 s
  EXPECT_EQ(static_cast<long long>(audio_->left.size()), audio_->frames);
  // The music lasts exactly as long as the demo.
  EXPECT_EQ(audio_->frames * 1000 / 44100, number("DEMO_END"));
}

TEST_F(GenSoundtrack, NeverClipsAndIsNeitherSilentNorCrushed) {
  float peak = 0.0f;
  for (size_t i = 0; i < audio_->left.size(); ++i)
    peak = std::max({peak, std::fabs(audio_->left[i]), std::fabs(audio_->right[i])});
  EXPECT_LT(peak, 0.98f);  // the limiter holds -1 dBFS; the codec adds a little
  EXPECT_GT(peak, 0.5f);
  double drop = rms(number("DROP"), number("BREAK"));
  EXPECT_GT(drop, 0.12);  // about -13 dBFS
  EXPECT_LT(drop, 0.35);
}

TEST_F(GenSoundtrack, TwoRunsAreByteIdentical) {
  fs::path second = fs::temp_directory_path() / ("soundtrack-b-" + std::to_string(::getpid()) + ".ogg");
  ASSERT_EQ(run(kTool + " " + second.string()), 0);
  EXPECT_TRUE(fileBytes(*file_) == fileBytes(second));
  fs::remove(second);
}

TEST_F(GenSoundtrack, KickLandsOnTheScriptsBeat) {
  long beat = number("DEMO_BEAT");
  ASSERT_EQ(beat, 480);
  for (auto [from, to] : {std::pair{"DROP", "BREAK"}, std::pair{"FINALE", "SCENES"},
                            std::pair{"SCENES", "SWARM"}, std::pair{"SWARM", "OUTRO"}}) {
    SCOPED_TRACE(from);
    std::vector<double> p = beatProfile(number(from), number(to), beat);
    size_t strongest = size_t(std::max_element(p.begin(), p.end()) - p.begin());
    // The low-pass delays the kick's body by a few tens of milliseconds.
    EXPECT_LE(strongest, 6u) << "the kick's energy peaks " << strongest * 10 << " ms after the beat";
    EXPECT_GT(contrast(p), 2.3);
  }
}

TEST_F(GenSoundtrack, SectionsStartWhereTheScriptsPartsStart) {
  long beat = number("DEMO_BEAT");
  long bar = number("BAR");
  EXPECT_EQ(bar, 4 * beat);
  // No kick in the intro or the breakdown, a steady one in the build, drop and finale.
  EXPECT_LT(contrast(beatProfile(number("INTRO"), number("BUILD"), beat)), 1.8);
  EXPECT_LT(contrast(beatProfile(number("BREAK"), number("FINALE"), beat)), 1.8);
  EXPECT_GT(contrast(beatProfile(number("BUILD"), number("BUILD") + 4 * bar, beat)), 2.3);
  // Each part is a whole number of bars.
  for (const char* part : {"BUILD", "DROP", "BREAK", "FINALE", "SCENES", "SWARM", "OUTRO"})
    EXPECT_EQ(number(part) % bar, 0) << part;
  // The drop hits harder than the bar before it, where only the roll plays.
  EXPECT_GT(rms(number("DROP"), number("DROP") + bar), 1.5 * rms(number("DROP") - bar / 2, number("DROP")));
  // The intro is quiet and the breakdown calmer than the drop on each side of it.
  EXPECT_LT(rms(number("INTRO"), number("BUILD")), 0.5 * rms(number("DROP"), number("BREAK")));
  EXPECT_LT(rms(number("BREAK"), number("FINALE")), 0.7 * rms(number("FINALE"), number("SCENES")));
  // The scenes breathe between the finale and the swarm.
  EXPECT_LT(rms(number("SCENES"), number("SWARM")), 0.85 * rms(number("SWARM"), number("OUTRO")));
}

TEST(GenSoundtrackUsage, WrongArgumentsAreAUsageError) {
  EXPECT_EQ(run(kTool + " 2>/dev/null"), 2);
  EXPECT_EQ(run(kTool + " a.ogg b.ogg 2>/dev/null"), 2);
}

TEST(GenSoundtrackUsage, AnUnwritableFileFailsBeforeAnythingIsRendered) {
  // A regular file where a directory should be: the output cannot be created.
  fs::path blocker = fs::temp_directory_path() / ("soundtrack-blocker-" + std::to_string(::getpid()));
  std::ofstream(blocker) << "x";
  EXPECT_EQ(run(kTool + " " + (blocker / "x.ogg").string() + " 2>/dev/null"), 1);
  fs::remove(blocker);
}
