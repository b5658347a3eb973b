#pragma once
// Generated texture contents: zeros, random bytes and Perlin-noise marble.
// Every operation takes an existing texture; null is a fatal assertion.

#include <cstdint>

class Texture;

// Replaces the whole level 0 of a 1D or 2D texture: width × height pixels in the texture's
// internal format, GL_UNSIGNED_BYTE.
void uploadPixels(Texture* texture, const void* pixels);

// Uploads width × height × 4 zero bytes.
void clearTexture(Texture* texture);

// One random byte per pixel (the low byte of rand()) in all four channels.
void randomTexture(Texture* texture);

// Perlin's improved noise (2002 reference: permutation table, fade 6t⁵ − 15t⁴ + 10t³,
// twelve gradient directions); 0 at integer lattice points, roughly within −1..1.
double noise3(double x, double y, double z);

// Marble: for pixel (j, i) of w × h, x = offsetX + j·scaleX/w, y = offsetY + i·scaleY/h,
// sum = Σ noise3(x·r, y·r, z·r)/r for r = 1, 2, 4, … ≤ octaves, value =
// byte(trunc((sin(0.5·(x + y + z) + sum) + 1) · 128)) in all four channels; then uploaded.
void marbleTexture(Texture* texture, float scaleX, float scaleY, float z, float offsetX,
                   float offsetY, int octaves);

// The marble bytes of marbleTexture (w × h pixels, 4 bytes each) without the upload. The
// fill is vectorised and shares its rows with a helper thread; it gives exactly the bytes of
// the straightforward loop, which is kept as the reference it is tested and measured against.
void marblePixels(uint8_t* out, int w, int h, float scaleX, float scaleY, float z, float offsetX,
                  float offsetY, int octaves);
void marblePixelsReference(uint8_t* out, int w, int h, float scaleX, float scaleY, float z,
                           float offsetX, float offsetY, int octaves);
