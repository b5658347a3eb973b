#include "resources/Texture.h"

#include <GL/glu.h>

#include <algorithm>
#include <filesystem>
#include <set>

#include "archive/FileRequests.h"
#include "archive/vkd.h"
#include "base/Error.h"
#include "base/LoadRecord.h"
#include "platform/Files.h"
#include "resources/ImageLibrary.h"


namespace {

int nextPowerOfTwo(int n) {
  int p = 1;
  while (p < n && p < (1 << 30)) p <<= 1;
  return p;
}

bool isCompressed(GLenum format) {
  return format == GL_COMPRESSED_RGBA_S3TC_DXT1_EXT || format == GL_COMPRESSED_RGBA_S3TC_DXT3_EXT ||
         format == GL_COMPRESSED_RGBA_S3TC_DXT5_EXT;
}

bool isFloatFormat(GLenum format) { return format == GL_RGB16F_ARB || format == GL_FLOAT_RGB16_NV; }

int textureSizeLimit() {
  if (maxTextureSize == 0) glGetIntegerv(GL_MAX_TEXTURE_SIZE, &maxTextureSize);
  return maxTextureSize;
}

void applyAnisotropy(GLenum target) {
  if (anisotropy > 0.0f) glTexParameterf(target, GL_TEXTURE_MAX_ANISOTROPY_EXT, anisotropy);
}

// A 4 × 4 colour texture of `format` on a fresh framebuffer: complete or not. Errors the
// driver raises for a format it does not know are its answer, and are taken here.
bool colourRenderable(GLenum format) {
  GLint framebuffer = 0, texture = 0;
  glGetIntegerv(GL_FRAMEBUFFER_BINDING, &framebuffer);
  glGetIntegerv(GL_TEXTURE_BINDING_2D, &texture);
  drainGlErrors(DE_HERE);
  GLuint probeTexture = 0, probeFramebuffer = 0;
  glGenTextures(1, &probeTexture);
  glBindTexture(GL_TEXTURE_2D, probeTexture);
  glTexImage2D(GL_TEXTURE_2D, 0, static_cast<GLint>(format), 4, 4, 0, GL_RGB, GL_FLOAT, nullptr);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
  glGenFramebuffers(1, &probeFramebuffer);
  glBindFramebuffer(GL_FRAMEBUFFER, probeFramebuffer);
  glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, probeTexture, 0);
  const bool complete = glCheckFramebufferStatus(GL_FRAMEBUFFER) == GL_FRAMEBUFFER_COMPLETE;
  glBindFramebuffer(GL_FRAMEBUFFER, static_cast<GLuint>(framebuffer));
  glDeleteFramebuffers(1, &probeFramebuffer);
  glBindTexture(GL_TEXTURE_2D, static_cast<GLuint>(texture));
  glDeleteTextures(1, &probeTexture);
  bool refused = false;
  while (glGetError() != GL_NO_ERROR) refused = true;
  return complete && !refused;
}

// S3TC levels from consecutive parts of the data, each half the size of the one before.
// Levels the file does not hold (the chain may be cut short) are left out and the texture's
// level range ends at the last one uploaded, so it stays complete for mipmapped sampling.
// `target` receives the levels (a cube face, say); `textureTarget` is what the texture is
// bound as.
void uploadCompressedLevels(GLenum target, GLenum textureTarget, const Image& image) {
  const int blockSize = image.format == GL_COMPRESSED_RGBA_S3TC_DXT1_EXT ? 8 : 16;
  const int levels = std::max(image.mipCount, 1);
  int w = image.width;
  int h = image.height;
  size_t offset = 0;
  int uploaded = 0;
  for (int level = 0; level < levels && w > 0 && h > 0; ++level) {
    const size_t size = size_t((w + 3) / 4) * size_t((h + 3) / 4) * blockSize;
    if (offset + size > image.data.size()) break;
    glCompressedTexImage2DARB(target, level, image.format, w, h, 0, static_cast<GLsizei>(size),
                              image.data.data() + offset);
    offset += size;
    ++uploaded;
    w /= 2;
    h /= 2;
  }
  glTexParameteri(textureTarget, GL_TEXTURE_MAX_LEVEL, std::max(uploaded - 1, 0));
}

// The path loadImage reads a picture from: RGBE pictures come from disk with '/' (see
// ImageLibrary), the rest through the archive.
std::string picturePath(const std::string& directory, const std::string& name) {
  std::string path = directory + name;
  if (path.size() >= 4 && (path.compare(path.size() - 4, 4, ".hdr") == 0 || path.compare(path.size() - 4, 4, ".HDR") == 0))
    std::replace(path.begin(), path.end(), '\\', '/');
  return path;
}

bool pictureFileExists(const std::string& path) {
  std::error_code error;
  if (std::filesystem::exists(platform::pathFromUtf8(path), error)) return true;
  MemoryFile* file = loadFile(path.c_str());
  closeFile(file);
  return file != nullptr;
}

// Only heard while authoring; a plain run goes on without the picture, as it always has.
// `candidates` in the order they are named: the picture first, then its ".dds" stand-in.
void reportMissingPicture(const std::vector<std::string>& candidates) {
  if (!loadProblemsWatched()) return;
  for (const std::string& path : candidates)
    if (pictureFileExists(path)) {
      reportLoadProblem({"", 0, "picture does not decode: " + path});
      return;
    }
  reportLoadProblem({"", 0, "picture not found: " + candidates.front()});
}

}  // namespace

// [SECTION] Float surfaces

GLenum renderableFloatFormat(GLenum preferred) {
  return colourRenderable(preferred) ? preferred : GL_RGBA16F;
}

GLenum floatSurfaceFormat() {
  static GLenum probed = 0;
  static GLenum answer = 0;
  if (probed != floatTextureFormat) {
    answer = renderableFloatFormat(floatTextureFormat);
    probed = floatTextureFormat;
  }
  return answer;
}

// [SECTION] Texture

Texture::~Texture() {
  for (Image*& image : images) {
    delete image;
    image = nullptr;
  }
}

void Texture::bind() const {
  glBindTexture(target == GL_DEPTH_COMPONENT ? GL_TEXTURE_2D : target, glName);
}

void Texture::setFilter(GLenum minFilter, GLenum magFilter) {
  bind();
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, static_cast<GLint>(minFilter));
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, static_cast<GLint>(magFilter));
}

bool Texture::uploadPicture() {
  Image* image = images[0];
  if (!image) return false;
  originalWidth = image->width;
  originalHeight = image->height;
  // Compressed blocks cannot be resampled pixel by pixel; they go up at their own size.
  if (!isCompressed(image->format)) {
    const int w = nextPowerOfTwo(image->width);
    const int h = nextPowerOfTwo(image->height);
    if (w != image->width || h != image->height) scaleImage(w, h, image);
  }
  width = image->width;
  height = image->height;

  glGenTextures(1, &glName);
  glBindTexture(GL_TEXTURE_2D, glName);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER,
                  mipmapped ? GL_LINEAR_MIPMAP_LINEAR : GL_LINEAR);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_REPEAT);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_REPEAT);
  applyAnisotropy(GL_TEXTURE_2D);
  glPixelStorei(GL_UNPACK_ALIGNMENT, 1);

  if (isCompressed(image->format)) {
    uploadCompressedLevels(GL_TEXTURE_2D, GL_TEXTURE_2D, *image);
  } else if (isFloatFormat(image->format)) {
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    internalFormat = image->format;
    glTexImage2D(GL_TEXTURE_2D, 0, static_cast<GLint>(image->format), width, height, 0, GL_RGB,
                 GL_FLOAT, image->floatData.data());
  } else {
    if (image->bitsPerPixel != 32) expandTo32Bits(image);
    if (mipmapped) {
      gluBuild2DMipmaps(GL_TEXTURE_2D, 4, width, height, GL_RGBA, GL_UNSIGNED_BYTE,
                        image->data.data());
    } else {
      glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, width, height, 0, GL_RGBA, GL_UNSIGNED_BYTE,
                   image->data.data());
    }
  }
  delete image;
  images[0] = nullptr;
  return true;
}

bool Texture::createEmpty(int w, int h, GLenum format, int flags) {
  internalFormat = format;
  switch (target) {
    case GL_TEXTURE_1D:
    case GL_TEXTURE_2D: {
      const bool oneD = target == GL_TEXTURE_1D;
      width = w;
      height = oneD ? 1 : h;
      const int limit = textureSizeLimit();
      if (width <= 0 || width > limit || (!oneD && (height <= 0 || height > limit)))
        reportError(DE_HERE, "Texture: dimensions too large", true);
      GLenum dataFormat = GL_RGBA;
      GLenum type = GL_UNSIGNED_BYTE;
      GLint filter = GL_LINEAR;
      if (flags & kTextureFloat) {
        internalFormat = floatSurfaceFormat();
        dataFormat = GL_RGB;
        type = GL_FLOAT;
        filter = GL_NEAREST;
      } else if (flags & kTexture16Bit) {
        internalFormat = GL_RGBA16;
        type = GL_UNSIGNED_SHORT;
      }
      glGenTextures(1, &glName);
      glBindTexture(target, glName);
      if (oneD)
        glTexImage1D(target, 0, static_cast<GLint>(internalFormat), width, 0, dataFormat, type, nullptr);
      else
        glTexImage2D(target, 0, static_cast<GLint>(internalFormat), width, height, 0, dataFormat,
                     type, nullptr);
      glTexParameteri(target, GL_TEXTURE_MIN_FILTER, filter);
      glTexParameteri(target, GL_TEXTURE_MAG_FILTER, filter);
      glTexParameteri(target, GL_TEXTURE_WRAP_S, GL_REPEAT);
      glTexParameteri(target, GL_TEXTURE_WRAP_T, GL_REPEAT);
      mipmapped = true;
      return true;
    }
    case GL_DEPTH_COMPONENT: {
      width = w;
      height = h;
      const int limit = textureSizeLimit();
      if (width <= 0 || height <= 0 || width > limit || height > limit)
        reportError(DE_HERE, "Texture: dimensions too large", true);
      glGenTextures(1, &glName);
      glBindTexture(GL_TEXTURE_2D, glName);
      glTexImage2D(GL_TEXTURE_2D, 0, GL_DEPTH_COMPONENT, width, height, 0, GL_DEPTH_COMPONENT,
                   GL_UNSIGNED_BYTE, nullptr);
      glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
      glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
      glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
      glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
      internalFormat = GL_DEPTH_COMPONENT;
      return true;
    }
    case GL_TEXTURE_CUBE_MAP: {
      width = height = w;
      const int limit = textureSizeLimit();
      if (width <= 0 || width > limit) reportError(DE_HERE, "Texture: dimensions too large", true);
      glGenTextures(1, &glName);
      glBindTexture(GL_TEXTURE_CUBE_MAP, glName);
      for (int face = 0; face < 6; ++face)
        glTexImage2D(GL_TEXTURE_CUBE_MAP_POSITIVE_X + face, 0, GL_RGBA, width, width, 0, GL_RGBA,
                     GL_UNSIGNED_BYTE, nullptr);
      glTexParameteri(GL_TEXTURE_CUBE_MAP, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
      glTexParameteri(GL_TEXTURE_CUBE_MAP, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
      glTexParameteri(GL_TEXTURE_CUBE_MAP, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
      glTexParameteri(GL_TEXTURE_CUBE_MAP, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
      glTexParameteri(GL_TEXTURE_CUBE_MAP, GL_TEXTURE_WRAP_R, GL_CLAMP_TO_EDGE);
      internalFormat = GL_RGBA;
      return true;
    }
    default:
      return false;
  }
}

bool Texture::uploadCubeFaces() {
  const int size = images[0]->width;
  width = height = originalWidth = originalHeight = size;
  glEnable(GL_TEXTURE_CUBE_MAP);
  glGenTextures(1, &glName);
  glBindTexture(GL_TEXTURE_CUBE_MAP, glName);
  glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
  for (int face = 0; face < 6; ++face) {
    Image* image = images[face];
    const GLenum faceTarget = GL_TEXTURE_CUBE_MAP_POSITIVE_X + face;
    // Every face of a cube map is square and of one size: faces that differ from the
    // first picture's width are resampled to it.
    if (!isCompressed(image->format) && (image->width != size || image->height != size))
      scaleImage(size, size, image);
    if (isCompressed(image->format)) {
      Image level0 = *image;
      level0.mipCount = 1;
      uploadCompressedLevels(faceTarget, GL_TEXTURE_CUBE_MAP, level0);
    } else if (isFloatFormat(image->format)) {
      glTexImage2D(faceTarget, 0, static_cast<GLint>(floatTextureFormat), size, size, 0, GL_RGB,
                   GL_FLOAT, image->floatData.data());
    } else {
      if (image->bitsPerPixel != 32) expandTo32Bits(image);
      glTexImage2D(faceTarget, 0, GL_RGBA, size, size, 0, GL_RGBA, GL_UNSIGNED_BYTE,
                   image->data.data());
    }
    delete image;
    images[face] = nullptr;
  }
  glTexParameteri(GL_TEXTURE_CUBE_MAP, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
  glTexParameteri(GL_TEXTURE_CUBE_MAP, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
  glTexParameteri(GL_TEXTURE_CUBE_MAP, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
  glTexParameteri(GL_TEXTURE_CUBE_MAP, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
  glTexParameteri(GL_TEXTURE_CUBE_MAP, GL_TEXTURE_WRAP_R, GL_CLAMP_TO_EDGE);
  glDisable(GL_TEXTURE_CUBE_MAP);
  return true;
}

// [SECTION] Texture manager

TextureManager& TextureManager::instance() {
  // Never destroyed: textures cannot be deleted once the GL context is gone at exit.
  static TextureManager* manager = new TextureManager;
  return *manager;
}

Texture* TextureManager::cached(const std::string& name) { return textures.acquire(name); }

int TextureManager::useCount(const std::string& name) const { return textures.useCount(name); }

int TextureManager::addTexture(const std::string& name, Texture* texture) {
  return textures.add(name, texture);
}

Texture* TextureManager::getTexture(const std::string& name, const std::string& directory,
                                    GLenum target, int flags) {
  if (name.empty()) return nullptr;
  if (Texture* texture = cached(name)) return texture;

  const size_t dot = name.rfind('.');
  assertTrue(dot != std::string::npos, DE_HERE);
  // A compressed version of the picture, when there is one, is preferred.
  const std::string ddsName = name.substr(0, dot) + ".dds";
  std::vector<std::string> files = {picturePath(directory, ddsName), picturePath(directory, name)};
  for (const std::string& file : files) recordFileRequest(file);
  Image* image = loadImage(ddsName.c_str(), directory.c_str());
  if (!image) image = loadImage(name.c_str(), directory.c_str());
  if (!image) {
    reportMissingPicture({files[1], files[0]});
    return nullptr;
  }

  auto* texture = new Texture;
  texture->sourceFiles = std::move(files);
  texture->target = target;
  texture->mipmapped = (flags & kTextureMipmapped) != 0;
  texture->images[0] = image;
  if (target == GL_TEXTURE_2D) {
    texture->uploadPicture();
  } else {
    reportError(DE_HERE, "generateTexture1D is not implemented", false);
  }
  addTexture(name, texture);
  return texture;
}

Texture* TextureManager::createTexture(const std::string& name, int width, int height,
                                       GLenum target, GLenum format, int flags) {
  if (Texture* texture = cached(name)) return texture;
  auto* texture = new Texture;
  texture->target = target;
  if (!texture->createEmpty(width, height, format, flags)) {
    delete texture;
    return nullptr;
  }
  addTexture(name, texture);
  return texture;
}

Texture* TextureManager::getCubeMap(const std::array<std::string, 6>& names,
                                    const std::string& directory) {
  if (names[0].empty()) return nullptr;
  if (Texture* texture = cached(names[0])) return texture;

  auto* texture = new Texture;
  texture->target = GL_TEXTURE_CUBE_MAP;
  for (int face = 0; face < 6; ++face) {
    texture->sourceFiles.push_back(picturePath(directory, names[face]));
    recordFileRequest(texture->sourceFiles.back());
    texture->images[face] = loadImage(names[face].c_str(), directory.c_str());
    if (!texture->images[face]) {
      reportMissingPicture({texture->sourceFiles.back()});
      delete texture;
      return nullptr;
    }
  }
  texture->uploadCubeFaces();
  addTexture(names[0], texture);
  return texture;
}

Texture* TextureManager::createCubeMap(const std::string& name, int size) {
  return createTexture(name, size, size, GL_TEXTURE_CUBE_MAP, GL_RGBA, 0);
}

std::vector<std::unique_ptr<Texture>> TextureManager::releaseReadFrom(const std::vector<std::string>& changedFiles) {
  std::set<std::string> changed;
  for (const std::string& file : changedFiles) changed.insert(dataFileKey(file));
  return textures.releaseIf([&](const std::string&, const Texture& texture) {
    return std::any_of(texture.sourceFiles.begin(), texture.sourceFiles.end(),
                       [&](const std::string& file) { return changed.count(dataFileKey(file)) > 0; });
  });
}
