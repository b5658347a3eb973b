// The picture generator run as the build runs it: every picture the demo names exists in a
// format and size the engine uploads as it is, the output is the same on every run, and
// the pictures show what they are meant to (transparent titles, outward sphere normals,
// a light probe with real high-dynamic-range values).

#include <gtest/gtest.h>
#include <jpeglib.h>
#include <png.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

const std::string kTool = std::string(DE_BINARY_DIR) + "/tools/gen-pictures/gen-pictures";

struct Picture {
  int width = 0, height = 0, channels = 0;
  std::vector<unsigned char> pixels;  // rows top to bottom, tightly packed
  const unsigned char* at(int x, int y) const {
    return &pixels[(size_t(y) * size_t(width) + size_t(x)) * size_t(channels)];
  }
};

std::vector<unsigned char> fileBytes(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Decodes an 8-bit PNG without any transformation; returns false for anything else.
bool readPng(const fs::path& path, Picture& out, int& colourType, int& bitDepth) {
  FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return false;
  png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_read_struct(&png, &info, nullptr);
    std::fclose(f);
    return false;
  }
  png_init_io(png, f);
  png_read_info(png, info);
  out.width = int(png_get_image_width(png, info));
  out.height = int(png_get_image_height(png, info));
  colourType = png_get_color_type(png, info);
  bitDepth = png_get_bit_depth(png, info);
  out.channels = png_get_channels(png, info);
  size_t stride = png_get_rowbytes(png, info);
  out.pixels.resize(stride * size_t(out.height));
  std::vector<png_bytep> rows(size_t(out.height));
  for (int y = 0; y < out.height; ++y) rows[size_t(y)] = &out.pixels[size_t(y) * stride];
  png_read_image(png, rows.data());
  png_destroy_read_struct(&png, &info, nullptr);
  std::fclose(f);
  return true;
}

bool readJpeg(const fs::path& path, Picture& out, int& fileComponents) {
  std::vector<unsigned char> bytes = fileBytes(path);
  if (bytes.empty()) return false;
  jpeg_decompress_struct cinfo;
  jpeg_error_mgr jerr;
  cinfo.err = jpeg_std_error(&jerr);
  jpeg_create_decompress(&cinfo);
  jpeg_mem_src(&cinfo, bytes.data(), static_cast<unsigned long>(bytes.size()));
  jpeg_read_header(&cinfo, TRUE);
  fileComponents = cinfo.num_components;
  cinfo.out_color_space = JCS_RGB;
  jpeg_start_decompress(&cinfo);
  out.width = int(cinfo.output_width);
  out.height = int(cinfo.output_height);
  out.channels = 3;
  out.pixels.resize(size_t(out.width) * size_t(out.height) * 3);
  while (cinfo.output_scanline < cinfo.output_height) {
    JSAMPROW row = &out.pixels[size_t(cinfo.output_scanline) * size_t(out.width) * 3];
    jpeg_read_scanlines(&cinfo, &row, 1);
  }
  jpeg_finish_decompress(&cinfo);
  jpeg_destroy_decompress(&cinfo);
  return true;
}

// A reader that follows the engine's RGBE rules: the header lines, then flat or
// run-length scanlines, each run or literal checked against the rest of the plane.
struct Rgbe {
  int width = 0, height = 0;
  bool runLength = false;
  std::vector<float> rgb;
};

bool readRgbe(const fs::path& path, Rgbe& out, std::string& why) {
  std::vector<unsigned char> b = fileBytes(path);
  size_t pos = 0;
  auto line = [&]() {
    std::string s;
    while (pos < b.size() && b[pos] != '\n') s += char(b[pos++]);
    ++pos;
    return s;
  };
  if (line().rfind("#?", 0) != 0) return why = "no #? line", false;
  bool format = false;
  for (;;) {
    if (pos >= b.size()) return why = "header ended", false;
    std::string s = line();
    if (s.empty()) return why = "no FORMAT specifier found", false;
    if (s == "FORMAT=32-bit_rle_rgbe") {
      format = true;
      break;
    }
  }
  for (;;) {
    if (pos >= b.size()) return why = "no size line", false;
    std::string s = line();
    if (std::sscanf(s.c_str(), "-Y %d +X %d", &out.height, &out.width) == 2) break;
  }
  if (!format || out.width <= 0 || out.height <= 0) return why = "bad header", false;
  int w = out.width;
  std::vector<unsigned char> scan(size_t(w) * 4);
  out.rgb.assign(size_t(w) * size_t(out.height) * 3, 0.0f);
  for (int y = 0; y < out.height; ++y) {
    if (pos + 4 > b.size()) return why = "short read", false;
    bool rle = w >= 8 && w <= 0x7FFF && b[pos] == 2 && b[pos + 1] == 2 && !(b[pos + 2] & 0x80);
    if (y == 0) out.runLength = rle;
    if (rle) {
      if (((b[pos + 2] << 8) | b[pos + 3]) != w) return why = "wrong scanline width", false;
      pos += 4;
      for (int c = 0; c < 4; ++c) {
        int x = 0;
        while (x < w) {
          if (pos + 2 > b.size()) return why = "short read", false;
          int count = b[pos++];
          if (count > 128) {
            count -= 128;
            if (count == 0 || count > w - x) return why = "bad scanline data", false;
            std::fill_n(&scan[size_t(c) * size_t(w) + size_t(x)], count, b[pos++]);
          } else {
            if (count == 0 || count > w - x || pos + size_t(count) > b.size())
              return why = "bad scanline data", false;
            std::copy_n(&b[pos], count, &scan[size_t(c) * size_t(w) + size_t(x)]);
            pos += size_t(count);
          }
          x += count;
        }
      }
      for (int x = 0; x < w; ++x) {
        int e = scan[size_t(3) * size_t(w) + size_t(x)];
        for (int c = 0; c < 3; ++c)
          out.rgb[(size_t(y) * size_t(w) + size_t(x)) * 3 + size_t(c)] =
              e == 0 ? 0.0f : std::ldexp(float(scan[size_t(c) * size_t(w) + size_t(x)]), e - 136);
      }
    } else {
      return why = "flat scanline in a run-length file", false;
    }
  }
  if (pos != b.size()) return why = "trailing bytes", false;
  return true;
}

int run(const std::string& command) {
  int status = std::system(command.c_str());
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// ctest runs every case in a process of its own: the generator's output is made once per
// build of the generator and shared, under a lock, by the cases that only read it.
int sharedOutput(const fs::path& out) {
  fs::path dir = out.parent_path();
  fs::create_directories(dir);
  int lock = ::open((out.string() + ".lock").c_str(), O_CREAT | O_RDWR, 0644);
  ::flock(lock, LOCK_EX);
  std::string stamp = std::to_string(fs::last_write_time(kTool).time_since_epoch().count()) + " " +
                      std::to_string(fs::file_size(kTool));
  fs::path stampFile = out.string() + ".stamp";
  std::vector<unsigned char> old = fileBytes(stampFile);
  int status = 0;
  if (std::string(old.begin(), old.end()) != stamp || !fs::exists(out)) {
    fs::remove(stampFile);
    fs::remove_all(out);
    status = run(kTool + " " + out.string());
    if (status == 0) std::ofstream(stampFile) << stamp;
  }
  ::flock(lock, LOCK_UN);
  ::close(lock);
  return status;
}

bool isPowerOfTwo(int v) { return v > 0 && (v & (v - 1)) == 0; }

class GenPictures : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    first_ = new fs::path(fs::path(DE_BINARY_DIR) / "tools-test" / "gen-pictures");
    status_ = sharedOutput(*first_);
  }
  static void TearDownTestSuite() {
    delete first_;
    first_ = nullptr;
  }
  void SetUp() override { ASSERT_EQ(status_, 0) << kTool << " failed"; }
  static fs::path file(const char* rel) { return *first_ / rel; }

  static fs::path* first_;
  static int status_;
};

fs::path* GenPictures::first_ = nullptr;
int GenPictures::status_ = -1;

struct Expected {
  const char* path;
  int width, height;
  bool alpha;  // PNG: RGBA (else RGB); JPEG: always RGB
};

// Every picture the demo script and the later effects ask for, with the layout the
// engine's upload accepts (8-bit RGB or RGBA, power-of-two sizes, no rescaling).
const Expected kPictures[] = {
    {"data/images/loading1024.jpg", 1024, 1024, false},
    {"data/images/title.png", 1024, 1024, true},
    {"data/images/credits.png", 1024, 1024, true},
    {"data/images/part_build.png", 1024, 1024, true},
    {"data/images/part_drop.png", 1024, 1024, true},
    {"data/images/part_break.png", 1024, 1024, true},
    {"data/images/part_finale.png", 1024, 1024, true},
    {"data/images/typewriter_caption.png", 1024, 1024, true},
    {"data/images/nebula.jpg", 1024, 1024, false},
    {"data/images/horizon.jpg", 1024, 1024, false},
    {"data/images/glow.png", 256, 256, true},
    {"data/images/logo.png", 512, 512, true},
    {"data/images/rays.png", 512, 512, true},
    {"data/images/rings.png", 512, 512, true},
    {"data/images/hexgrid.png", 512, 512, true},
    {"data/textures/envmap.jpg", 512, 512, false},
    {"data/textures/metal24.jpg", 512, 512, false},
    {"data/textures/fliser.jpg", 512, 512, false},
    {"data/textures/fliser_normal.png", 512, 512, false},
    {"data/textures/sphere_black.png", 128, 128, true},
    {"data/textures/sphere_normals.png", 128, 128, true},
    {"data/grace_probe.png", 512, 512, false},
};

}  // namespace

TEST_F(GenPictures, WritesEveryNamedPictureInAnUploadableLayout) {
  for (const Expected& e : kPictures) {
    SCOPED_TRACE(e.path);
    Picture p;
    std::string name = e.path;
    if (name.ends_with(".png")) {
      int colourType = 0, depth = 0;
      ASSERT_TRUE(readPng(file(e.path), p, colourType, depth));
      EXPECT_EQ(depth, 8);
      EXPECT_EQ(colourType, e.alpha ? PNG_COLOR_TYPE_RGB_ALPHA : PNG_COLOR_TYPE_RGB);
    } else {
      int components = 0;
      ASSERT_TRUE(readJpeg(file(e.path), p, components));
      EXPECT_EQ(components, 3);
    }
    EXPECT_EQ(p.width, e.width);
    EXPECT_EQ(p.height, e.height);
    EXPECT_TRUE(isPowerOfTwo(p.width) && isPowerOfTwo(p.height));
  }
}

TEST_F(GenPictures, WritesNothingElse) {
  size_t count = 0;
  for (const auto& entry : fs::recursive_directory_iterator(*first_))
    if (entry.is_regular_file()) ++count;
  EXPECT_EQ(count, std::size(kPictures) + 1);  // + the RGBE probe
}

TEST_F(GenPictures, TwoRunsAreByteIdentical) {
  fs::path second = fs::temp_directory_path() / ("gen-pictures-b-" + std::to_string(::getpid()));
  fs::remove_all(second);
  ASSERT_EQ(run(kTool + " " + second.string()), 0);
  for (const auto& entry : fs::recursive_directory_iterator(*first_)) {
    if (!entry.is_regular_file()) continue;
    fs::path rel = fs::relative(entry.path(), *first_);
    SCOPED_TRACE(rel.string());
    EXPECT_TRUE(fileBytes(entry.path()) == fileBytes(second / rel));
  }
  fs::remove_all(second);
}

TEST_F(GenPictures, TitleIsLightTextOnATransparentBackground) {
  Picture p;
  int ct, depth;
  ASSERT_TRUE(readPng(file("data/images/title.png"), p, ct, depth));
  for (auto [x, y] : {std::pair{0, 0}, {1023, 0}, {0, 1023}, {1023, 1023}, {512, 40}})
    EXPECT_EQ(p.at(x, y)[3], 0) << x << "," << y;
  // Somewhere along the middle row the big word is solid and bright.
  int solid = 0;
  for (int x = 0; x < 1024; ++x)
    for (int y = 560; y < 640; ++y)
      if (p.at(x, y)[3] == 255 && p.at(x, y)[0] > 230) ++solid;
  EXPECT_GT(solid, 2000);
}

TEST_F(GenPictures, TheTypewritersLineLiesWhereTheTypingUncoversIt) {
  Picture p;
  int ct, depth;
  ASSERT_TRUE(readPng(file("data/images/typewriter_caption.png"), p, ct, depth));
  // Nothing in the 0.55 of the width shown before the first step nor past the 0.97 where the
  // cursor goes; the line in a band at 0.16..0.2 of the height from the top.
  int left = 1024, right = -1, top = 1024, bottom = -1;
  for (int y = 0; y < 1024; ++y)
    for (int x = 0; x < 1024; ++x)
      if (p.at(x, y)[3] > 128) {
        left = std::min(left, x);
        right = std::max(right, x);
        top = std::min(top, y);
        bottom = std::max(bottom, y);
      }
  EXPECT_GT(left, 0.55 * 1024);
  EXPECT_LT(right, 0.97 * 1024);
  EXPECT_GT(right, 0.9 * 1024);
  EXPECT_GT(top, 0.15 * 1024);
  EXPECT_LT(bottom, 0.21 * 1024);
}

TEST_F(GenPictures, LoadingPictureIsDarkWithLightLettering) {
  Picture p;
  int comps;
  ASSERT_TRUE(readJpeg(file("data/images/loading1024.jpg"), p, comps));
  EXPECT_LT(p.at(20, 20)[0] + p.at(20, 20)[1] + p.at(20, 20)[2], 90);
  int bright = 0;
  for (int y = 300; y < 700; ++y)
    for (int x = 0; x < 1024; ++x)
      if (p.at(x, y)[0] > 200 && p.at(x, y)[1] > 200 && p.at(x, y)[2] > 200) ++bright;
  EXPECT_GT(bright, 2000);
}

TEST_F(GenPictures, SphereNormalsPointOutOfTheSphere) {
  Picture n, black;
  int ct, depth;
  ASSERT_TRUE(readPng(file("data/textures/sphere_normals.png"), n, ct, depth));
  ASSERT_TRUE(readPng(file("data/textures/sphere_black.png"), black, ct, depth));
  const unsigned char* centre = n.at(64, 64);
  EXPECT_NEAR(centre[0], 128, 3);
  EXPECT_NEAR(centre[1], 128, 3);
  EXPECT_GT(centre[2], 250);
  EXPECT_GT(n.at(120, 64)[0], 220);  // right edge faces right
  EXPECT_LT(n.at(7, 64)[0], 35);     // left edge faces left
  EXPECT_GT(n.at(64, 120)[1], 220);  // lower edge faces down the picture
  for (const Picture* p : {&n, &black}) {
    EXPECT_EQ(p->at(0, 0)[3], 0);
    EXPECT_EQ(p->at(64, 64)[3], 255);
  }
  EXPECT_LT(black.at(64, 64)[0], 20);  // the black sphere is black in the middle
}

TEST_F(GenPictures, FloorNormalMapIsFlatOnTilesAndTiltedAtTheirEdges) {
  Picture n, tiles;
  int ct, depth, comps;
  ASSERT_TRUE(readPng(file("data/textures/fliser_normal.png"), n, ct, depth));
  ASSERT_TRUE(readJpeg(file("data/textures/fliser.jpg"), tiles, comps));
  // Tile centres (four tiles of 128 pixels) face straight out.
  EXPECT_GT(n.at(64, 64)[2], 245);
  EXPECT_NEAR(n.at(64, 64)[0], 128, 12);
  // The bevel on the left edge of a tile leans left (x component below the middle)...
  EXPECT_LT(n.at(128 + 5, 64)[0], 110);
  // ...and the grout between tiles is darker than the tiles in the colour picture.
  auto lum = [](const unsigned char* p) { return int(p[0]) + int(p[1]) + int(p[2]); };
  EXPECT_LT(lum(tiles.at(128, 64)), lum(tiles.at(64, 64)));
  EXPECT_LT(lum(tiles.at(128, 64)), lum(tiles.at(192, 64)));
}

TEST_F(GenPictures, LightProbeIsRunLengthRgbeWithRealHighDynamicRange) {
  Rgbe probe;
  std::string why;
  ASSERT_TRUE(readRgbe(file("data/grace_probe.hdr"), probe, why)) << why;
  EXPECT_EQ(probe.width, 512);
  EXPECT_EQ(probe.height, 512);
  EXPECT_TRUE(probe.runLength);
  float brightest = 0.0f;
  for (float v : probe.rgb) brightest = std::max(brightest, v);
  EXPECT_GT(brightest, 10.0f);  // windows and skylight far above display white
  // Outside the mirrored ball the probe is black.
  EXPECT_EQ(probe.rgb[0] + probe.rgb[1] + probe.rgb[2], 0.0f);
  // The low-dynamic-range twin shows the same ball: black corner, lit centre.
  Picture ldr;
  int ct, depth;
  ASSERT_TRUE(readPng(file("data/grace_probe.png"), ldr, ct, depth));
  EXPECT_EQ(ldr.at(0, 0)[0], 0);
  EXPECT_GT(int(ldr.at(256, 256)[0]) + ldr.at(256, 256)[1] + ldr.at(256, 256)[2], 60);
}

TEST_F(GenPictures, EnvironmentMapHasSkyAboveAndGroundBelow) {
  Picture p;
  int comps;
  ASSERT_TRUE(readJpeg(file("data/textures/envmap.jpg"), p, comps));
  const unsigned char* sky = p.at(40, 40);
  const unsigned char* ground = p.at(40, 470);
  EXPECT_GT(sky[2], sky[0] + 40);       // blue sky
  EXPECT_GT(ground[1], ground[2]);      // greenish-brown ground
  EXPECT_GT(int(sky[0]) + sky[1] + sky[2], int(ground[0]) + ground[1] + ground[2]);
}

TEST(GenPicturesUsage, MissingFontsStopWithAMessage) {
  fs::path out = fs::temp_directory_path() / ("gen-pictures-nofont-" + std::to_string(::getpid()));
  fs::path err = out.string() + ".err";
  EXPECT_EQ(run(kTool + " " + out.string() + " --fonts " + out.string() + "/nowhere 2>" +
                err.string()),
            1);
  std::vector<unsigned char> text = fileBytes(err);
  EXPECT_NE(std::string(text.begin(), text.end()).find("cannot open font"), std::string::npos);
  fs::remove_all(out);
  fs::remove(err);
}

TEST(GenPicturesUsage, NoOutputDirectoryIsAUsageError) {
  EXPECT_EQ(run(kTool + " 2>/dev/null"), 2);
}
