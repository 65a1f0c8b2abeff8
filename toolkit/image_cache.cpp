#include "toolkit/image_cache.h"

#include <wincodec.h>
#include <wrl/client.h>

#include <algorithm>
#include <limits>
#include <memory>
#include <utility>

namespace tk {
namespace {

using Microsoft::WRL::ComPtr;

// Larger images than this are refused rather than allocated (a damaged header can claim
// anything).
constexpr unsigned kMaxPixels = 1u << 26;

ComPtr<IWICBitmapSource> firstFrame(IWICImagingFactory* factory, const unsigned char* data,
                                    std::size_t size) {
    ComPtr<IWICStream> stream;
    ComPtr<IWICBitmapDecoder> decoder;
    ComPtr<IWICBitmapFrameDecode> frame;
    if (FAILED(factory->CreateStream(&stream)) ||
        FAILED(stream->InitializeFromMemory(const_cast<BYTE*>(data), static_cast<DWORD>(size))) ||
        FAILED(factory->CreateDecoderFromStream(stream.Get(), nullptr,
                                                WICDecodeMetadataCacheOnDemand, &decoder)) ||
        FAILED(decoder->GetFrame(0, &frame))) {
        return nullptr;
    }
    return frame;
}

std::shared_ptr<Image> copyPixels(IWICBitmapSource* source) {
    ComPtr<IWICBitmapSource> converted;
    UINT width = 0, height = 0;
    if (FAILED(WICConvertBitmapSource(GUID_WICPixelFormat32bppPBGRA, source, &converted)) ||
        FAILED(converted->GetSize(&width, &height)) || width == 0 || height == 0 ||
        width > kMaxPixels / height) {
        return nullptr;
    }
    auto image = std::make_shared<Image>();
    image->width = static_cast<int>(width);
    image->height = static_cast<int>(height);
    image->pixels.resize(static_cast<std::size_t>(width) * height);
    const UINT stride = width * 4;
    if (FAILED(converted->CopyPixels(nullptr, stride, stride * height,
                                     reinterpret_cast<BYTE*>(image->pixels.data())))) {
        return nullptr;
    }
    return image;
}

std::wstring cacheKey(std::wstring name) {
    std::replace(name.begin(), name.end(), L'\\', L'/');
    return name;
}

}  // namespace

ImagePtr decodeImage(const unsigned char* data, std::size_t size) {
    if (data == nullptr || size == 0 || size > std::numeric_limits<DWORD>::max()) return nullptr;
    ComPtr<IWICImagingFactory> factory;
    if (FAILED(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER,
                                IID_PPV_ARGS(&factory)))) {
        return nullptr;
    }
    const ComPtr<IWICBitmapSource> frame = firstFrame(factory.Get(), data, size);
    if (!frame) return nullptr;
    return copyPixels(frame.Get());
}

ImageCache::ImageCache(ImageLoader loader) : loader_(std::move(loader)) {}

void ImageCache::setLoader(ImageLoader loader) {
    const std::lock_guard lock(mutex_);
    loader_ = std::move(loader);
    images_.clear();
}

ImagePtr ImageCache::get(const std::wstring& name) {
    const std::wstring key = cacheKey(name);
    // Held across loading and decoding, so that two threads never decode the same file twice.
    const std::lock_guard lock(mutex_);
    if (const auto found = images_.find(key); found != images_.end()) return found->second;
    ImagePtr image;
    if (loader_) {
        if (const auto bytes = loader_(name); bytes && !bytes->empty()) {
            image = decodeImage(bytes->data(), bytes->size());
        }
    }
    images_.emplace(key, image);
    return image;
}

void ImageCache::clear() {
    const std::lock_guard lock(mutex_);
    images_.clear();
}

ImageCache& imageCache() {
    static ImageCache cache;
    return cache;
}

}  // namespace tk
