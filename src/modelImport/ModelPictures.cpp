#include "modelImport/ModelPictures.h"

#include <assimp/scene.h>
#include <stb_image_write.h>

// The picture decoder is compiled here, from the header, with this file's flags: the
// sanitizer builds and the fuzzers see into it (the system's shared copy is not
// instrumented), and it is private to this file. It decodes only the formats models carry
// whose decoders the fuzz target has been run against under the sanitizers; every other
// format is refused before any decoding (see decodedFormat).
#define STB_IMAGE_STATIC
#define STB_IMAGE_IMPLEMENTATION
#define STBI_ONLY_PNG
#define STBI_ONLY_JPEG
#define STBI_ONLY_BMP
#define STBI_ONLY_TGA
#define STBI_NO_STDIO
// A picture cut short leaves part of the decoder's output unwritten (a TGA's last rows): zeroed
// memory makes those pixels black instead of whatever the heap held.
#define STBI_MALLOC(size) std::calloc(1, size)
#define STBI_REALLOC(pointer, size) std::realloc(pointer, size)
#define STBI_FREE(pointer) std::free(pointer)
#define STBI_NO_LINEAR
#define STBI_NO_HDR
#if defined(__GNUC__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wunused-function"
#pragma GCC diagnostic ignored "-Wsign-compare"
#pragma GCC diagnostic ignored "-Wimplicit-fallthrough"
#endif
#include <stb_image.h>
#if defined(__GNUC__)
#pragma GCC diagnostic pop
#endif

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>

namespace modelimport {

namespace fs = std::filesystem;

// [SECTION] Picture bytes

PictureFormat pictureFormatOf(const std::vector<uint8_t>& bytes) {
  const auto starts = [&](const char* magic, size_t n) {
    return bytes.size() >= n && std::memcmp(bytes.data(), magic, n) == 0;
  };
  if (starts("\x89PNG\r\n\x1a\n", 8)) return PictureFormat::Png;
  if (starts("\xFF\xD8\xFF", 3)) return PictureFormat::Jpeg;
  if (starts("DDS ", 4)) return PictureFormat::Dds;
  if (starts("#?RADIANCE", 10) || starts("#?RGBE", 6)) return PictureFormat::Rgbe;
  return PictureFormat::Other;
}

static bool jpegHuffmanTablesOverflow(const std::vector<uint8_t>& bytes);

bool engineReads(const std::vector<uint8_t>& bytes) {
  switch (pictureFormatOf(bytes)) {
    case PictureFormat::Png:
      // The engine's PNG reader applies no transformations: 8-bit RGB or RGBA, not interlaced
      // (the IHDR chunk follows the signature: depth at 24, colour type at 25, interlace at 28).
      return bytes.size() > 28 && bytes[24] == 8 && (bytes[25] == 2 || bytes[25] == 6) && bytes[28] == 0;
    case PictureFormat::Jpeg: {
      int width = 0, height = 0, channels = 0;
      // The header reader builds the Huffman tables too: an overflowing one is not asked.
      return bytes.size() <= static_cast<size_t>(INT32_MAX) && !jpegHuffmanTablesOverflow(bytes) &&
             stbi_info_from_memory(bytes.data(), static_cast<int>(bytes.size()), &width, &height, &channels) == 1 &&
             channels == 3;
    }
    case PictureFormat::Dds:
    case PictureFormat::Rgbe:
      return true;
    default:
      return false;
  }
}

namespace {

void appendBytes(void* context, void* data, int size) {
  auto* out = static_cast<std::vector<uint8_t>*>(context);
  const auto* p = static_cast<const uint8_t*>(data);
  out->insert(out->end(), p, p + size);
}

const char* extensionOf(PictureFormat format) {
  switch (format) {
    case PictureFormat::Jpeg: return ".jpg";
    case PictureFormat::Dds: return ".dds";
    case PictureFormat::Rgbe: return ".hdr";
    default: return ".png";
  }
}

std::string lowerCase(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

// The file name of a path written on any system ('\' and '/' both separate folders).
std::string fileNameOf(const std::string& path) {
  const size_t slash = path.find_last_of("\\/");
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string stemOf(const std::string& fileName) {
  const size_t dot = fileName.rfind('.');
  return dot == std::string::npos || dot == 0 ? fileName : fileName.substr(0, dot);
}

// %20 and the like, as URIs in glTF files spell names.
std::string percentDecoded(const std::string& text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && i + 2 < text.size() && std::isxdigit(static_cast<unsigned char>(text[i + 1])) &&
        std::isxdigit(static_cast<unsigned char>(text[i + 2]))) {
      out += static_cast<char>(std::stoi(text.substr(i + 1, 2), nullptr, 16));
      i += 2;
    } else {
      out += text[i];
    }
  }
  return out;
}

bool readWholeFile(const fs::path& path, std::vector<uint8_t>& bytes) {
  std::error_code error;
  if (!fs::is_regular_file(path, error)) return false;
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return true;
}

// The entry of `folder` called `name` in any letter case (models made on Windows name
// their pictures the way that system forgives).
std::optional<fs::path> findIgnoringCase(const fs::path& folder, const std::string& name) {
  std::error_code error;
  const std::string wanted = lowerCase(name);
  std::optional<fs::path> found;
  for (const fs::directory_entry& entry : fs::directory_iterator(folder.empty() ? "." : folder, error)) {
    if (lowerCase(entry.path().filename().string()) != wanted) continue;
    if (!found || entry.path() < *found) found = entry.path();
  }
  return found;
}

// `relative` below `base`, each of its folders and its file name matched in any letter case.
std::optional<fs::path> resolveIgnoringCase(const fs::path& base, const std::string& relative) {
  fs::path at = base;
  std::error_code error;
  size_t start = 0;
  while (start <= relative.size()) {
    size_t end = relative.find('/', start);
    if (end == std::string::npos) end = relative.size();
    const std::string part = relative.substr(start, end - start);
    start = end + 1;
    if (part.empty() || part == ".") continue;
    if (part == "..") {
      at = at / "..";
      continue;
    }
    if (fs::exists(at / part, error)) {
      at = at / part;
      continue;
    }
    const std::optional<fs::path> found = findIgnoringCase(at, part);
    if (!found) return std::nullopt;
    at = *found;
  }
  return fs::is_regular_file(at, error) ? std::optional<fs::path>(at) : std::nullopt;
}

// Where an external picture is: as written (absolute, or relative to the model), by its
// name beside the model or in a "textures" folder there; folders and name in any letter
// case.
std::optional<fs::path> locate(const std::string& folder, const std::string& written) {
  std::string path = percentDecoded(written);
  if (path.rfind("file://", 0) == 0) path = path.substr(7);
  std::replace(path.begin(), path.end(), '\\', '/');
  const std::string name = fileNameOf(path);
  const fs::path base = folder.empty() ? fs::path(".") : fs::path(folder);
  std::error_code error;
  if (!path.empty() && path[0] == '/' && fs::is_regular_file(path, error)) return fs::path(path);
  for (const std::string& relative : {path, name, "textures/" + name})
    if (auto found = resolveIgnoringCase(base, relative)) return found;
  return std::nullopt;
}

// Whether every chunk of a PNG lies within its bytes. The decoder grows its buffer to what
// a chunk header claims before reading it, so one forged length asks for gigabytes.
bool pngChunksFit(const std::vector<uint8_t>& bytes) {
  size_t at = 8;
  while (bytes.size() - at >= 12) {
    const uint32_t length = uint32_t(bytes[at]) << 24 | uint32_t(bytes[at + 1]) << 16 |
                            uint32_t(bytes[at + 2]) << 8 | uint32_t(bytes[at + 3]);
    if (length > bytes.size() - at - 12) return false;
    if (std::memcmp(&bytes[at + 4], "IEND", 4) == 0) return true;
    at += 12 + size_t(length);
  }
  return false;
}

// Palettes shorter than their pixels' indices may be: the decoder keeps a palette on its
// stack and takes the entries past the file's as the stack holds them (whatever earlier calls
// left there went into the picture). A PNG's or BMP's palette is filled up with black entries
// before decoding; false for a palette that cannot be (an OS/2 BMP's).
bool fillPalette(std::vector<uint8_t>& bytes) {
  const auto little32 = [&](size_t at) {
    return uint32_t(bytes[at]) | uint32_t(bytes[at + 1]) << 8 | uint32_t(bytes[at + 2]) << 16 |
           uint32_t(bytes[at + 3]) << 24;
  };
  if (pictureFormatOf(bytes) == PictureFormat::Png) {
    if (bytes.size() < 33 || bytes[25] != 3) return true;  // colour type 3: indices into a palette
    const size_t wanted = size_t{1} << std::min<int>(bytes[24], 8);
    for (size_t at = 8; bytes.size() - at >= 12;) {
      const size_t length = uint32_t(bytes[at]) << 24 | uint32_t(bytes[at + 1]) << 16 | uint32_t(bytes[at + 2]) << 8 |
                            uint32_t(bytes[at + 3]);
      if (length > bytes.size() - at - 12 || std::memcmp(&bytes[at + 4], "IDAT", 4) == 0) return true;
      if (std::memcmp(&bytes[at + 4], "PLTE", 4) == 0) {
        if (length % 3 != 0 || length / 3 >= wanted) return true;
        bytes.insert(bytes.begin() + static_cast<std::ptrdiff_t>(at + 8 + length), wanted * 3 - length, 0);
        for (int i = 0; i < 4; ++i) bytes[at + i] = uint8_t((wanted * 3) >> (24 - 8 * i));
        return true;  // the decoder does not check the chunk's CRC
      }
      at += 12 + length;
    }
    return true;
  }
  if (bytes.size() < 30 || bytes[0] != 'B' || bytes[1] != 'M') return true;
  const uint32_t offset = little32(10), header = little32(14);
  const int bits = header == 12 ? bytes[24] | bytes[25] << 8 : bytes[28] | bytes[29] << 8;
  if (bits != 1 && bits != 4 && bits != 8) return true;
  // Pixels before the palette's end make the decoder count a palette of no entries or fewer.
  if (header == 12 || header > bytes.size() || offset < 14 + header + 4) return false;
  const size_t entries = (offset - 14 - header) / 4, wanted = size_t{1} << bits;
  if (entries >= wanted) return true;
  if (14 + header + entries * 4 > bytes.size()) return false;
  const size_t added = (wanted - entries) * 4;
  bytes.insert(bytes.begin() + static_cast<std::ptrdiff_t>(14 + header + entries * 4), added, 0);
  for (int i = 0; i < 4; ++i) bytes[10 + i] = uint8_t((offset + added) >> (8 * i));
  return true;
}

}  // namespace

std::vector<uint8_t> encodePng(int width, int height, const uint8_t* rgba) {
  std::vector<uint8_t> out;
  if (width <= 0 || height <= 0 ||
      stbi_write_png_to_func(appendBytes, &out, width, height, 4, rgba, width * 4) == 0)
    out.clear();
  return out;
}

// True when a JPEG's Huffman table promises more than 256 codes: the decoder lists a table's
// code sizes in 257 bytes without checking the total. Every FF C4 is read as a table, as the
// decoder would at any marker; bytes past the end count as zero, as the decoder reads them.
static bool jpegHuffmanTablesOverflow(const std::vector<uint8_t>& bytes) {
  const auto at = [&](size_t i) -> unsigned { return i < bytes.size() ? bytes[i] : 0; };
  for (size_t marker = 0; marker + 1 < bytes.size(); ++marker) {
    if (bytes[marker] != 0xFF || bytes[marker + 1] != 0xC4) continue;
    size_t i = marker + 2;
    long left = long(at(i) << 8 | at(i + 1)) - 2;
    i += 2;
    while (left > 0 && i < bytes.size()) {
      unsigned codes = 0;
      for (size_t k = 0; k < 16; ++k) codes += at(i + 1 + k);
      if (codes > 256) return true;
      i += 17 + codes;
      left -= 17 + long(codes);
    }
  }
  return false;
}

const char* refusedPictureFormat(const std::vector<uint8_t>& bytes) {
  const auto starts = [&](const char* magic, size_t length) {
    return bytes.size() >= length && std::memcmp(bytes.data(), magic, length) == 0;
  };
  if (starts("GIF8", 4)) return "a GIF";
  if (starts("8BPS", 4)) return "a PSD";
  if (starts("\x53\x80\xF6\x34", 4)) return "a Softimage PIC";
  if (bytes.size() >= 2 && bytes[0] == 'P' && bytes[1] >= '1' && bytes[1] <= '7') return "a PNM";
  // The decoder's interlaced path hands on pixels it never wrote for some hostile files
  // (valgrind on fuzz inputs); models hardly carry interlaced PNGs.
  if (pictureFormatOf(bytes) == PictureFormat::Png && bytes.size() > 28 && bytes[28] != 0) return "an interlaced PNG";
  // The decoder takes any file opening with the start-of-image marker as a JPEG, fill bytes
  // (more FFs) before it included.
  if (starts("\xFF", 1) && jpegHuffmanTablesOverflow(bytes))
    return "a JPEG with a Huffman table of more than 256 codes";
  return nullptr;
}

std::vector<uint8_t> convertToPng(const std::vector<uint8_t>& given) {
  if (given.empty() || given.size() > static_cast<size_t>(INT32_MAX) / 2) return {};
  if (pictureFormatOf(given) == PictureFormat::Png && !pngChunksFit(given)) return {};
  if (refusedPictureFormat(given)) return {};
  std::vector<uint8_t> bytes = given;
  if (!fillPalette(bytes)) return {};
  int width = 0, height = 0, channels = 0;
  // A header alone can claim millions of pixels, which the decoder then spends seconds
  // making up: no real picture packs more than a few thousand pixels into a byte.
  if (stbi_info_from_memory(bytes.data(), static_cast<int>(bytes.size()), &width, &height, &channels) != 1 ||
      width > 16384 || height > 16384 ||
      static_cast<uint64_t>(width) * static_cast<uint64_t>(height) > 4096u * bytes.size() + 65536u)
    return {};
  stbi_uc* pixels = stbi_load_from_memory(bytes.data(), static_cast<int>(bytes.size()), &width, &height, &channels, 4);
  if (!pixels) return {};
  std::vector<uint8_t> png = encodePng(width, height, pixels);
  stbi_image_free(pixels);
  return png;
}

// [SECTION] Gathering

PictureCollector::PictureCollector(const aiScene& scene, const std::string& modelPath, NoteSink note,
                                   const std::string& destination)
    : scene(scene), note(std::move(note)), destination(destination) {
  const size_t slash = modelPath.find_last_of('/');
  folder = slash == std::string::npos ? "" : modelPath.substr(0, slash + 1);
  modelStem = stemOf(fileNameOf(modelPath));
  // The archive finds names in any letter case: "Wood.png" there is "wood.png" here.
  std::error_code error;
  if (!destination.empty())
    for (fs::directory_iterator it(destination, error), end; !error && it != end; it.increment(error))
      present.emplace(lowerCase(it->path().filename().string()), it->path().filename().string());
}

std::string PictureCollector::nameFor(const std::string& path, const std::string& materialName) {
  // "$texture_dummy.bmp" and the like: the importer's stand-in where a file names none.
  if (path.empty() || path[0] == '$') return "";
  if (auto known = byPath.find(path); known != byPath.end()) return known->second;
  const std::string name = gather(path, materialName);
  byPath.emplace(path, name);
  return name;
}

std::string PictureCollector::uniqueName(const std::string& key, const std::string& wantedStem,
                                         const std::string& extension) {
  // The pictures travel with the scene to systems that refuse these characters in a name
  // (an embedded picture's name is whatever the exporter wrote).
  std::string stem = wantedStem;
  for (char& c : stem)
    if (static_cast<unsigned char>(c) < 32 || std::strchr(":*?\"<>|", c)) c = '_';
  std::string name = stem + extension;
  for (int i = 2;; ++i) {
    auto [it, added] = owners.emplace(lowerCase(name), key);
    if (added || it->second == key) return name;
    name = stem + "_" + std::to_string(i) + extension;
  }
}

std::string PictureCollector::addPicture(const std::string& key, const std::string& stem, std::vector<uint8_t> bytes,
                                         const std::string& what) {
  PictureFormat format = pictureFormatOf(bytes);
  if (!engineReads(bytes)) {
    // Other formats, and PNG and JPEG pictures the engine's readers do not take (grey,
    // palette, 16-bit, interlaced), become 8-bit RGBA PNG pictures.
    if (const char* refused = refusedPictureFormat(bytes)) {
      note(what + " is " + refused + " picture, a format the converter does not decode: left out");
      return "";
    }
    bytes = convertToPng(bytes);
    if (bytes.empty()) {
      note(what + " is in a picture format that cannot be read: left out");
      return "";
    }
    format = PictureFormat::Png;
  }
  std::string name = uniqueName(key, stem, extensionOf(format));
  const std::string wanted = name;
  // A picture of another model converted into the same folder keeps its name and its bytes.
  for (auto there = present.find(lowerCase(name)); there != present.end(); there = present.find(lowerCase(name))) {
    const fs::path existing = fs::path(destination) / there->second;
    std::error_code error;
    std::vector<uint8_t> held;
    if (!fs::is_symlink(existing, error) && fs::is_regular_file(existing, error) && readWholeFile(existing, held) &&
        held == bytes)
      return name;  // the same picture: used as it is
    owners[lowerCase(name)] = "in " + destination;
    name = uniqueName(key, stem, extensionOf(format));
  }
  if (name != wanted)
    note(what + " is named \"" + name + "\": \"" + wanted + "\" in " + destination + " is another file");
  const bool known = std::any_of(gathered.begin(), gathered.end(), [&](const Picture& p) { return p.fileName == name; });
  if (!known) gathered.push_back({name, std::move(bytes)});
  return name;
}

std::string PictureCollector::gather(const std::string& path, const std::string& materialName) {
  const std::string who = "material \"" + materialName + "\": ";
  if (const auto [embedded, index] = scene.GetEmbeddedTextureAndIndex(path.c_str()); embedded) {
    const std::string own = fileNameOf(embedded->mFilename.C_Str());
    const std::string stem =
        own.empty() || own[0] == '*' ? modelStem + "_" + std::to_string(index) : stemOf(own);
    const std::string what = who + "the embedded picture " + (own.empty() ? path : "\"" + own + "\"");
    std::vector<uint8_t> bytes;
    if (embedded->mHeight == 0) {
      const auto* data = reinterpret_cast<const uint8_t*>(embedded->pcData);
      bytes.assign(data, data + embedded->mWidth);
    } else {
      // Uncompressed texels are stored as b, g, r, a.
      std::vector<uint8_t> rgba;
      const size_t count = static_cast<size_t>(embedded->mWidth) * embedded->mHeight;
      rgba.reserve(count * 4);
      for (size_t i = 0; i < count; ++i) {
        const aiTexel& t = embedded->pcData[i];
        rgba.insert(rgba.end(), {t.r, t.g, t.b, t.a});
      }
      bytes = encodePng(static_cast<int>(embedded->mWidth), static_cast<int>(embedded->mHeight), rgba.data());
    }
    return addPicture("embedded " + std::to_string(index), stem, std::move(bytes), what);
  }

  const std::string name = fileNameOf(path);
  const std::optional<fs::path> found = locate(folder, path);
  if (!found) {
    note(who + "the picture \"" + path + "\" is not beside the model: the scene names it \"" + name +
         "\" but plays without it");
    return name.find('.') == std::string::npos ? "" : name;
  }
  std::vector<uint8_t> bytes;
  if (!readWholeFile(*found, bytes)) {
    note(who + "the picture \"" + found->string() + "\" cannot be read: left out");
    return "";
  }
  // Real models name pictures by absolute paths and "../": found, but the demo maker hears
  // what goes into the tree (and the archive) from elsewhere.
  {
    std::error_code error;
    const fs::path source = fs::weakly_canonical(fs::absolute(*found, error), error);
    const fs::path modelFolder = folder.empty() ? fs::path(".") : fs::path(folder);
    const fs::path home = fs::weakly_canonical(fs::absolute(modelFolder, error), error);
    const fs::path inside = source.lexically_relative(home);
    if (inside.empty() || *inside.begin() == "..")
      note(who + "the picture \"" + path + "\" is taken from " + source.string() + ", outside the model's folder");
  }
  return addPicture("file " + fs::weakly_canonical(*found).string(), stemOf(found->filename().string()),
                    std::move(bytes), who + "the picture \"" + found->string() + "\"");
}

}  // namespace modelimport
