#include "resources/TextureSettings.h"

int maxTextureSize = 0;
GLenum floatTextureFormat = GL_RGB16F_ARB;
float anisotropy = 0.0f;
