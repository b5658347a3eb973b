#pragma once
// The pictures a model's materials use, gathered so that the demo finds them: embedded ones
// (a .glb's images, data URIs, textures inside an FBX file) taken out of the model, external
// ones read from beside it. PNG and JPEG pictures keep their bytes (where the engine's
// readers take them as they are), DDS and RGBE (.hdr) pictures too; other PNG, JPEG, BMP and
// TGA pictures are decoded and written as 8-bit RGBA PNG, and the rest is refused.
// Each picture gets the one file name that the material records then use.

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

struct aiScene;

namespace modelimport {

// One picture file to write into the textures folder.
struct Picture {
  std::string fileName;
  std::vector<uint8_t> bytes;
};

// Receives each line for stderr (what was approximated, dropped or not found).
using NoteSink = std::function<void(const std::string&)>;

class PictureCollector {
 public:
  // `modelPath` is where external pictures are looked for (its folder); `modelStem` names
  // embedded pictures that have no name of their own. `destination` is the folder the
  // pictures will be written into ("" when unknown): a name taken there by a different file,
  // or by a link, makes the picture take a name of its own (one note); a file there with the
  // same bytes is used as it is (not gathered again).
  PictureCollector(const aiScene& scene, const std::string& modelPath, NoteSink note,
                   const std::string& destination = "");

  // The file name a material record gives the picture that the material holds as `path`
  // ("*N" or a file's name as the modelling tool wrote it), the picture gathered the first
  // time. A missing external picture is one note and keeps its own file name (a demo maker
  // can still put it there); a picture that cannot be read or converted is one note and
  // gives "" (nothing to name).
  std::string nameFor(const std::string& path, const std::string& materialName);

  const std::vector<Picture>& pictures() const { return gathered; }
  std::vector<Picture> takePictures() { return std::move(gathered); }

 private:
  std::string gather(const std::string& path, const std::string& materialName);
  std::string addPicture(const std::string& key, const std::string& stem, std::vector<uint8_t> bytes,
                         const std::string& what);
  std::string uniqueName(const std::string& key, const std::string& stem, const std::string& extension);

  const aiScene& scene;
  std::string folder;  // the model's folder, with a trailing '/' (or empty)
  std::string modelStem;
  NoteSink note;
  std::map<std::string, std::string> byPath;  // a material's path → the name given
  std::map<std::string, std::string> owners;  // a file name (lower case) → the source that has it
  std::string destination;
  std::map<std::string, std::string> present;  // the destination's file names (lower case) → as on disk
  std::vector<Picture> gathered;
};

// [SECTION] Picture bytes (exposed for the tests)

enum class PictureFormat { Png, Jpeg, Dds, Rgbe, Other };
PictureFormat pictureFormatOf(const std::vector<uint8_t>& bytes);
// Whether the engine's picture readers take these bytes as they are: 8-bit RGB or RGBA PNG
// (not interlaced), three-channel JPEG, DDS and RGBE.
bool engineReads(const std::vector<uint8_t>& bytes);
// A PNG, JPEG, BMP or TGA picture as 8-bit RGBA PNG bytes; empty when it cannot be decoded.
// Other formats are never handed to the decoder.
std::vector<uint8_t> convertToPng(const std::vector<uint8_t>& bytes);
// "a GIF", "a PSD", "a PNM", "a Softimage PIC", "an interlaced PNG": forms models rarely
// carry, whose decoders read past their buffers or hand on unwritten pixels on hostile input,
// and which the converter refuses; null for others.
const char* refusedPictureFormat(const std::vector<uint8_t>& bytes);
// 8-bit RGBA rows, top row first, as PNG bytes.
std::vector<uint8_t> encodePng(int width, int height, const uint8_t* rgba);

}  // namespace modelimport
