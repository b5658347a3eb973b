#include "modelImport/ModelPictures.h"

#include <assimp/scene.h>
#include <stb_image.h>
#include <stb_image_write.h>

#include <algorithm>
#include <cctype>
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

bool engineReads(const std::vector<uint8_t>& bytes) {
  switch (pictureFormatOf(bytes)) {
    case PictureFormat::Png:
      // The engine's PNG reader applies no transformations: 8-bit RGB or RGBA, not interlaced
      // (the IHDR chunk follows the signature: depth at 24, colour type at 25, interlace at 28).
      return bytes.size() > 28 && bytes[24] == 8 && (bytes[25] == 2 || bytes[25] == 6) && bytes[28] == 0;
    case PictureFormat::Jpeg: {
      int width = 0, height = 0, channels = 0;
      return bytes.size() <= static_cast<size_t>(INT32_MAX) &&
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

}  // namespace

std::vector<uint8_t> encodePng(int width, int height, const uint8_t* rgba) {
  std::vector<uint8_t> out;
  if (width <= 0 || height <= 0 ||
      stbi_write_png_to_func(appendBytes, &out, width, height, 4, rgba, width * 4) == 0)
    out.clear();
  return out;
}

std::vector<uint8_t> convertToPng(const std::vector<uint8_t>& bytes) {
  if (bytes.empty() || bytes.size() > static_cast<size_t>(INT32_MAX)) return {};
  if (pictureFormatOf(bytes) == PictureFormat::Png && !pngChunksFit(bytes)) return {};
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

PictureCollector::PictureCollector(const aiScene& scene, const std::string& modelPath, NoteSink note)
    : scene(scene), note(std::move(note)) {
  const size_t slash = modelPath.find_last_of('/');
  folder = slash == std::string::npos ? "" : modelPath.substr(0, slash + 1);
  modelStem = stemOf(fileNameOf(modelPath));
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
    bytes = convertToPng(bytes);
    if (bytes.empty()) {
      note(what + " is in a picture format that cannot be read: left out");
      return "";
    }
    format = PictureFormat::Png;
  }
  const std::string name = uniqueName(key, stem, extensionOf(format));
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
  return addPicture("file " + fs::weakly_canonical(*found).string(), stemOf(found->filename().string()),
                    std::move(bytes), who + "the picture \"" + found->string() + "\"");
}

}  // namespace modelimport
