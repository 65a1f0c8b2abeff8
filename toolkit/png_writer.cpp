#include "toolkit/png_writer.h"

#include <wincodec.h>
#include <wrl/client.h>

#include <algorithm>
#include <vector>

namespace tk {
namespace {

using Microsoft::WRL::ComPtr;

// Straight (not premultiplied) BGRA, as PNG stores it.
std::vector<std::uint32_t> unpremultiply(const std::uint32_t* pixels, std::size_t count) {
    std::vector<std::uint32_t> out(count);
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint32_t p = pixels[i];
        const std::uint32_t a = p >> 24;
        if (a == 255 || a == 0) {
            out[i] = a == 0 ? 0 : p;
            continue;
        }
        std::uint32_t straight = a << 24;
        for (int shift = 0; shift < 24; shift += 8) {
            const std::uint32_t c = (((p >> shift) & 0xFF) * 255 + a / 2) / a;
            straight |= std::min<std::uint32_t>(c, 255) << shift;
        }
        out[i] = straight;
    }
    return out;
}

bool encode(IWICImagingFactory* factory, const std::wstring& path,
            std::vector<std::uint32_t>& straight, UINT width, UINT height) {
    ComPtr<IWICStream> stream;
    ComPtr<IWICBitmapEncoder> encoder;
    ComPtr<IWICBitmapFrameEncode> frame;
    if (FAILED(factory->CreateStream(&stream)) ||
        FAILED(stream->InitializeFromFilename(path.c_str(), GENERIC_WRITE)) ||
        FAILED(factory->CreateEncoder(GUID_ContainerFormatPng, nullptr, &encoder)) ||
        FAILED(encoder->Initialize(stream.Get(), WICBitmapEncoderNoCache)) ||
        FAILED(encoder->CreateNewFrame(&frame, nullptr)) || FAILED(frame->Initialize(nullptr)) ||
        FAILED(frame->SetSize(width, height))) {
        return false;
    }
    WICPixelFormatGUID format = GUID_WICPixelFormat32bppBGRA;
    if (FAILED(frame->SetPixelFormat(&format)) || format != GUID_WICPixelFormat32bppBGRA) {
        return false;
    }
    const UINT stride = width * 4;
    return SUCCEEDED(frame->WritePixels(height, stride, stride * height,
                                        reinterpret_cast<BYTE*>(straight.data()))) &&
           SUCCEEDED(frame->Commit()) && SUCCEEDED(encoder->Commit());
}

}  // namespace

bool writePng(const std::wstring& path, const std::uint32_t* pixels, int width, int height) {
    if (pixels == nullptr || width <= 0 || height <= 0 ||
        static_cast<unsigned long long>(width) * height * 4 > 0xFFFFFFFFull) {
        return false;
    }
    ComPtr<IWICImagingFactory> factory;
    if (FAILED(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER,
                                IID_PPV_ARGS(&factory)))) {
        return false;
    }
    std::vector<std::uint32_t> straight =
        unpremultiply(pixels, static_cast<std::size_t>(width) * height);
    // The stream closes the file when it is released, before a failed file is removed.
    const bool written = encode(factory.Get(), path, straight, width, height);
    if (!written) DeleteFileW(path.c_str());
    return written;
}

bool writePng(const std::wstring& path, const Surface& surface) {
    return writePng(path, surface.pixels(), surface.width(), surface.height());
}

bool writePng(const std::wstring& path, const Image& image) {
    if (image.pixels.size() != static_cast<std::size_t>(image.width) * image.height) return false;
    return writePng(path, image.pixels.data(), image.width, image.height);
}

}  // namespace tk
