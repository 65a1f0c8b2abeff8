// Images of the skin: decoding PNG, BMP, GIF and JPEG bytes into premultiplied pixels through
// WIC, and a process-wide cache that decodes each file once. The bytes come from a loader the
// caller supplies, so the cache knows nothing of where files live.
//
// Every call needs COM initialised on the calling thread (CoInitializeEx, either apartment);
// the caller owns that. The cache may be used from any such thread; it owns the decoded images
// and hands out shared pointers to them, which stay valid after the cache is cleared.
#pragma once

#include <cstddef>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "toolkit/canvas.h"

namespace tk {

// Reads a file's whole content by its name; nothing when the file cannot be found or read.
using ImageLoader = std::function<std::optional<std::vector<unsigned char>>(const std::wstring&)>;

// Decodes an image (the first frame of an animated GIF) into premultiplied BGRA; nullptr when
// the bytes are not an image WIC can decode.
ImagePtr decodeImage(const unsigned char* data, std::size_t size);

// Decoded images by file name. A name is looked up once: its image, or the fact that it could
// not be loaded or decoded, is kept until clear().
class ImageCache {
public:
    explicit ImageCache(ImageLoader loader = {});
    ImageCache(const ImageCache&) = delete;
    ImageCache& operator=(const ImageCache&) = delete;

    // Replaces the loader and forgets every image, so that names resolve through the new one.
    void setLoader(ImageLoader loader);
    // The image of the file; nullptr when it is missing or cannot be decoded. "\" and "/" in
    // the name are the same separator.
    ImagePtr get(const std::wstring& name);
    void clear();

private:
    std::mutex mutex_;
    ImageLoader loader_;
    std::map<std::wstring, ImagePtr> images_;  // nullptr entries: known missing
};

// The cache the process's windows share.
ImageCache& imageCache();

}  // namespace tk
