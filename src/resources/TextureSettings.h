#pragma once
// Process-wide values of the texture code, set by start-up and read by the texture manager,
// the render targets and the picture decoders (an RGBE picture takes the float format).

#include <epoxy/gl.h>

// GL_MAX_TEXTURE_SIZE. Start-up copies the queried limit here; while it is still 0 the
// texture manager asks GL itself the first time it needs the limit.
extern int maxTextureSize;
// The floating-point RGB internal format of float textures and RGBE pictures:
// GL_RGB16F_ARB (the default) or GL_FLOAT_RGB16_NV, chosen once at start-up.
extern GLenum floatTextureFormat;
// Anisotropic filtering of loaded pictures; 0 (the default) leaves it off.
extern float anisotropy;
