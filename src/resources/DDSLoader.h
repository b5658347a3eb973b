#pragma once
// DirectDraw Surface pictures holding S3TC (DXT1/DXT3/DXT5) blocks.

struct Image;
struct MemoryFile;

// The DDS picture at `path`, read through the data archive. Null when the file is missing,
// does not start with "DDS ", is cut short or holds another FourCC; a non-square picture is
// the fatal "Non-square compressed images not supported".
Image* loadDDS(const char* path);

// The same over a file already in memory.
Image* decodeDds(MemoryFile* file);
