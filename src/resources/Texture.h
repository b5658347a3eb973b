#pragma once
// GL texture objects and the process-wide texture manager: pictures loaded from
// data files and empty render surfaces, cached by exact name with use counts and kept for
// the life of the process.

#include <epoxy/gl.h>

#include <array>
#include <memory>
#include <string>
#include <vector>

#include "base/NamedCache.h"
#include "resources/TextureSettings.h"

struct Image;

// The internal format of empty floating-point textures, which render targets draw into:
// floatTextureFormat where a framebuffer takes it as its colour buffer, else GL_RGBA16F
// (Mesa's software renderer may refuse three-channel 16-bit float colour buffers). Decided
// by a framebuffer completeness probe, once per value of floatTextureFormat.
GLenum floatSurfaceFormat();
// The probe itself: `preferred` when a framebuffer with a colour texture of that format is
// complete, else GL_RGBA16F. Leaves the framebuffer and texture bindings as they were.
GLenum renderableFloatFormat(GLenum preferred);

// Texture creation flags. For pictures loaded from files: kTextureMipmapped. For empty
// textures: kTextureFloat or kTexture16Bit (render targets pass 2 × their precision code).
constexpr int kTextureMipmapped = 1;
constexpr int kTextureFloat = 2;
constexpr int kTexture16Bit = 4;

class Texture {
 public:
  Texture() = default;
  ~Texture();
  Texture(const Texture&) = delete;
  Texture& operator=(const Texture&) = delete;

  // glBindTexture on the texture's target (GL_TEXTURE_2D for depth textures).
  void bind() const;
  // Binds the texture and sets the min and mag filters of GL_TEXTURE_2D.
  void setFilter(GLenum minFilter, GLenum magFilter);

  GLuint getId() const { return glName; }
  // GL_TEXTURE_1D, GL_TEXTURE_2D, GL_TEXTURE_CUBE_MAP, or GL_DEPTH_COMPONENT for a depth
  // texture (which is bound as GL_TEXTURE_2D).
  GLenum getTarget() const { return target; }
  GLenum getInternalFormat() const { return internalFormat; }
  int getWidth() const { return width; }
  int getHeight() const { return height; }
  // The picture's size before it was rounded up to powers of two.
  int getOriginalWidth() const { return originalWidth; }
  int getOriginalHeight() const { return originalHeight; }
  bool isMipmapped() const { return mipmapped; }
  // The files a picture texture was read from, or would be read from first (the ".dds"
  // picture of the same stem); empty for render surfaces.
  const std::vector<std::string>& getSourceFiles() const { return sourceFiles; }

 private:
  friend class TextureManager;

  bool uploadPicture();                          // images[0] to a 2D texture
  bool createEmpty(int w, int h, GLenum format, int flags);
  bool uploadCubeFaces();                        // images[0..5] to a cube map

  int width = 0;
  int height = 0;
  int originalWidth = 0;
  int originalHeight = 0;
  std::array<Image*, 6> images{};  // pictures waiting for upload, released after it
  GLuint glName = 0;
  GLenum target = GL_TEXTURE_2D;
  GLenum internalFormat = GL_RGBA;
  bool mipmapped = false;
  std::vector<std::string> sourceFiles;
};

class TextureManager {
 public:
  // The one manager, created on first use.
  static TextureManager& instance();

  // The cached texture of that name (its use count + 1), else the picture loaded from
  // `directory` + name (the ".dds" picture of the same stem first) and cached. Null for an
  // empty name or a picture that cannot be loaded. A name without '.' is a fatal assertion.
  // Flags: kTextureMipmapped. A target other than GL_TEXTURE_2D is reported as
  // "generateTexture1D is not implemented" and gives a texture without a GL object.
  Texture* getTexture(const std::string& name, const std::string& directory, GLenum target,
                      int flags);
  // The cached texture of that name (use count + 1), else a new empty texture: target
  // GL_TEXTURE_1D, GL_TEXTURE_2D, GL_DEPTH_COMPONENT or GL_TEXTURE_CUBE_MAP (null for any
  // other). Flags: kTextureFloat or kTexture16Bit. Sizes above maxTextureSize are the fatal
  // "Texture: dimensions too large".
  Texture* createTexture(const std::string& name, int width, int height, GLenum target,
                         GLenum format, int flags);
  // A cube map from six picture files (+X, −X, +Y, −Y, +Z, −Z), cached under the first
  // name; null when the first name is empty or any picture is missing.
  Texture* getCubeMap(const std::array<std::string, 6>& names, const std::string& directory);
  // An empty size × size RGBA cube map cached under `name`.
  Texture* createCubeMap(const std::string& name, int size);
  // 0 when added, or when the name already holds this texture (use count + 1); 1 when the
  // texture is null or the name holds another texture.
  int addTexture(const std::string& name, Texture* texture);

  // The number of users of a cached name, 0 when it is not cached (for tests and stats).
  int useCount(const std::string& name) const;

  // Authoring: takes out of the cache every picture texture read from one of `changedFiles`
  // (compared by dataFileKey), so that the next request reads the file again, and hands the
  // old textures over; effects that still draw them keep working until the caller lets go.
  std::vector<std::unique_ptr<Texture>> releaseReadFrom(const std::vector<std::string>& changedFiles);

 private:
  TextureManager() = default;
  Texture* cached(const std::string& name);  // use count + 1 when found

  NamedCache<Texture> textures;
};
