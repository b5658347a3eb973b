#pragma once
// Decoding pictures ahead of their use, on the other cores. Loading a demo decodes its
// pictures one after another while the script is read, and decoding PNG and JPEG is most of
// that time. Given the names the script is going to ask for, workers decode them in the
// background; loadImage then takes a finished picture instead of decoding it again, and
// decodes it itself when no worker has started on it yet. What loadImage returns, and in
// which order pictures reach GL, are exactly what they are without the read-ahead.
//
// Only PNG and JPEG pictures are read ahead: their decoders never report anything, so a
// broken file fails at the same request, with the same result, as without it.

#include <string>
#include <vector>

struct Image;

// How a worker decodes one picture: `name` in `directory` (empty here), null for a missing
// or broken file. The picture library's decodeImageFile is the one the program uses.
using ImageDecoder = Image* (*)(const char* name, const char* directory);

// Starts decoding `paths` (as loadImage receives them with an empty directory) with `decode`
// on up to one worker per core. Names of other kinds are skipped. Replaces any earlier
// read-ahead.
void startImagePrefetch(const std::vector<std::string>& paths, ImageDecoder decode);

// True when `path` was handed to the read-ahead and not taken yet. Then *image receives the
// decoded picture (null for a file that is missing or broken), waiting for a worker that is
// decoding it; a path no worker has started is withdrawn and false is returned, so the
// caller decodes it at once rather than waiting.
bool takePrefetchedImage(const std::string& path, Image** image);

// Stops the workers and frees every picture nobody took.
void endImagePrefetch();
