#include "toolkit/image_cache.h"

#include <windows.h>
#include <objbase.h>
#include <wincodec.h>
#include <wrl/client.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "tests/support/test_support.h"
#include "toolkit/png_writer.h"

namespace {

using Microsoft::WRL::ComPtr;
using Bytes = std::vector<unsigned char>;

class ImageTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
        ASSERT_TRUE(SUCCEEDED(CoCreateInstance(CLSID_WICImagingFactory, nullptr,
                                               CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&factory_))));
    }
    void TearDown() override {
        factory_.Reset();
        CoUninitialize();
    }

    // Encodes one frame with WIC's encoder for the container, in exactly the pixel format given.
    Bytes encode(const GUID& container, WICPixelFormatGUID format, UINT width, UINT height,
                 const void* pixels, UINT stride, const std::vector<WICColor>& palette = {}) {
        ComPtr<IStream> stream;
        ComPtr<IWICBitmapEncoder> encoder;
        ComPtr<IWICBitmapFrameEncode> frame;
        ComPtr<IPropertyBag2> options;
        const WICPixelFormatGUID wanted = format;
        if (FAILED(CreateStreamOnHGlobal(nullptr, TRUE, &stream)) ||
            FAILED(factory_->CreateEncoder(container, nullptr, &encoder)) ||
            FAILED(encoder->Initialize(stream.Get(), WICBitmapEncoderNoCache)) ||
            FAILED(encoder->CreateNewFrame(&frame, &options)) ||
            FAILED(frame->Initialize(options.Get())) || FAILED(frame->SetSize(width, height)) ||
            FAILED(frame->SetPixelFormat(&format)) || format != wanted) {
            ADD_FAILURE() << "encoder set-up failed";
            return {};
        }
        if (!palette.empty()) {
            ComPtr<IWICPalette> colours;
            if (FAILED(factory_->CreatePalette(&colours)) ||
                FAILED(colours->InitializeCustom(const_cast<WICColor*>(palette.data()),
                                                 static_cast<UINT>(palette.size()))) ||
                FAILED(frame->SetPalette(colours.Get()))) {
                ADD_FAILURE() << "palette failed";
                return {};
            }
        }
        if (FAILED(frame->WritePixels(height, stride, stride * height,
                                      static_cast<BYTE*>(const_cast<void*>(pixels)))) ||
            FAILED(frame->Commit()) || FAILED(encoder->Commit())) {
            ADD_FAILURE() << "encoding failed";
            return {};
        }
        return streamBytes(stream.Get());
    }

    static Bytes streamBytes(IStream* stream) {
        ULARGE_INTEGER end{};
        HGLOBAL memory = nullptr;
        if (FAILED(stream->Seek({}, STREAM_SEEK_END, &end)) ||
            FAILED(GetHGlobalFromStream(stream, &memory))) {
            return {};
        }
        const auto* data = static_cast<const unsigned char*>(GlobalLock(memory));
        Bytes bytes(data, data + end.QuadPart);
        GlobalUnlock(memory);
        return bytes;
    }

    ComPtr<IWICImagingFactory> factory_;
};

// Straight BGRA bytes of one pixel.
struct Bgra {
    unsigned char b, g, r, a;
};

TEST_F(ImageTest, PngWithAlphaDecodesPremultipliedTopDown) {
    const Bgra pixels[4] = {
        {30, 20, 10, 255}, {50, 100, 200, 128}, {99, 88, 77, 0}, {255, 255, 255, 255}};
    const Bytes png =
        encode(GUID_ContainerFormatPng, GUID_WICPixelFormat32bppBGRA, 2, 2, pixels, 8);
    const tk::ImagePtr image = tk::decodeImage(png.data(), png.size());
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(image->width, 2);
    EXPECT_EQ(image->height, 2);
    EXPECT_EQ(image->pixels, (std::vector<std::uint32_t>{0xFF0A141E, 0x80643219, 0, 0xFFFFFFFF}));
}

TEST_F(ImageTest, BmpGifAndJpegDecode) {
    const unsigned char bgr[2 * 4] = {0x30, 0x20, 0x10, 0xFF, 0x00, 0x80, 0, 0};  // row padded
    const unsigned char bgr2[2 * 4] = {0x01, 0x02, 0x03, 0x00, 0xFF, 0x00, 0, 0};
    unsigned char rows[16];
    std::copy(bgr, bgr + 8, rows);
    std::copy(bgr2, bgr2 + 8, rows + 8);
    const Bytes bmp = encode(GUID_ContainerFormatBmp, GUID_WICPixelFormat24bppBGR, 2, 2, rows, 8);
    const tk::ImagePtr fromBmp = tk::decodeImage(bmp.data(), bmp.size());
    ASSERT_NE(fromBmp, nullptr);
    EXPECT_EQ(fromBmp->pixels,
              (std::vector<std::uint32_t>{0xFF102030, 0xFF8000FF, 0xFF030201, 0xFF00FF00}));

    const std::vector<WICColor> palette = {0xFF000000, 0xFFFF0000, 0xFF00FF00, 0xFF268FD6};
    const unsigned char indices[3 * 2] = {0, 1, 2, 3, 3, 1};
    const Bytes gif =
        encode(GUID_ContainerFormatGif, GUID_WICPixelFormat8bppIndexed, 3, 2, indices, 3, palette);
    const tk::ImagePtr fromGif = tk::decodeImage(gif.data(), gif.size());
    ASSERT_NE(fromGif, nullptr);
    EXPECT_EQ(fromGif->width, 3);
    EXPECT_EQ(fromGif->pixels, (std::vector<std::uint32_t>{0xFF000000, 0xFFFF0000, 0xFF00FF00,
                                                           0xFF268FD6, 0xFF268FD6, 0xFFFF0000}));

    // A 16x16 JPEG, left half orange, right half blue; lossy, so colours are near.
    std::vector<unsigned char> jpegPixels(16 * 16 * 3);
    for (int i = 0; i < 256; ++i) {
        const bool left = i % 16 < 8;
        jpegPixels[i * 3 + 0] = left ? 0x20 : 0xD6;
        jpegPixels[i * 3 + 1] = left ? 0x80 : 0x8F;
        jpegPixels[i * 3 + 2] = left ? 0xF0 : 0x26;
    }
    const Bytes jpeg = encode(GUID_ContainerFormatJpeg, GUID_WICPixelFormat24bppBGR, 16, 16,
                              jpegPixels.data(), 48);
    const tk::ImagePtr fromJpeg = tk::decodeImage(jpeg.data(), jpeg.size());
    ASSERT_NE(fromJpeg, nullptr);
    ASSERT_EQ(fromJpeg->pixels.size(), 256u);
    for (const auto& [x, want] : {std::pair{2, 0xFFF08020u}, {13, 0xFF268FD6u}}) {
        const std::uint32_t got = fromJpeg->pixels[8 * 16 + x];
        EXPECT_EQ(got >> 24, 255u);
        for (int shift = 0; shift < 24; shift += 8) {
            EXPECT_NEAR(static_cast<int>(got >> shift & 0xFF),
                        static_cast<int>(want >> shift & 0xFF), 12)
                << x << " " << std::hex << got;
        }
    }
}

TEST_F(ImageTest, BytesThatAreNoImageGiveNothing) {
    const Bgra pixel[1] = {{1, 2, 3, 255}};
    const Bytes png = encode(GUID_ContainerFormatPng, GUID_WICPixelFormat32bppBGRA, 1, 1, pixel, 4);
    const Bytes garbage = {'n', 'o', 't', ' ', 'a', 'n', ' ', 'i', 'm', 'a', 'g', 'e'};
    EXPECT_EQ(tk::decodeImage(garbage.data(), garbage.size()), nullptr);
    EXPECT_EQ(tk::decodeImage(png.data(), 0), nullptr);
    EXPECT_EQ(tk::decodeImage(nullptr, 10), nullptr);
    EXPECT_EQ(tk::decodeImage(png.data(), 20), nullptr);  // header without image data
}

// Serves files from a map and counts how often each name was asked for.
struct FakeFiles {
    std::map<std::wstring, Bytes> files;
    std::map<std::wstring, int> calls;
    tk::ImageLoader loader() {
        return [this](const std::wstring& name) -> std::optional<Bytes> {
            ++calls[name];
            const auto found = files.find(name);
            if (found == files.end()) return std::nullopt;
            return found->second;
        };
    }
};

TEST_F(ImageTest, CacheDecodesEachFileOnceAndRemembersMissingOnes) {
    const Bgra pixel[1] = {{1, 2, 3, 255}};
    FakeFiles disk;
    disk.files[L"common\\btn.png"] =
        encode(GUID_ContainerFormatPng, GUID_WICPixelFormat32bppBGRA, 1, 1, pixel, 4);
    disk.files[L"broken.png"] = {0x89, 'P', 'N', 'G'};
    disk.files[L"empty.png"] = {};
    tk::ImageCache cache(disk.loader());

    const tk::ImagePtr first = cache.get(L"common\\btn.png");
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first->pixels[0], 0xFF030201u);
    EXPECT_EQ(cache.get(L"common\\btn.png"), first);
    EXPECT_EQ(cache.get(L"common/btn.png"), first);  // the same file by the other separator
    for (int round = 0; round < 3; ++round) {
        EXPECT_EQ(cache.get(L"missing.png"), nullptr);
        EXPECT_EQ(cache.get(L"broken.png"), nullptr);
        EXPECT_EQ(cache.get(L"empty.png"), nullptr);
    }
    EXPECT_EQ(
        disk.calls,
        (std::map<std::wstring, int>{
            {L"common\\btn.png", 1}, {L"missing.png", 1}, {L"broken.png", 1}, {L"empty.png", 1}}));

    // Clearing forgets everything; images already handed out stay valid.
    cache.clear();
    disk.files.erase(L"common\\btn.png");
    EXPECT_EQ(cache.get(L"common/btn.png"), nullptr);
    EXPECT_EQ(first->pixels[0], 0xFF030201u);
    EXPECT_EQ(disk.calls[L"common/btn.png"], 1);

    FakeFiles other;
    other.files[L"missing.png"] =
        encode(GUID_ContainerFormatPng, GUID_WICPixelFormat32bppBGRA, 1, 1, pixel, 4);
    cache.setLoader(other.loader());
    EXPECT_NE(cache.get(L"missing.png"), nullptr);
    EXPECT_EQ(disk.calls[L"missing.png"], 1);

    tk::ImageCache noLoader;
    EXPECT_EQ(noLoader.get(L"missing.png"), nullptr);
}

TEST_F(ImageTest, PngWriterRoundTripKeepsAlpha) {
    tk::Surface surface;
    ASSERT_TRUE(surface.resize(24, 16));
    tk::Canvas canvas(surface);
    canvas.clear({0, 0, 24, 16}, 0);
    canvas.fillRoundRect({2, 2, 22, 14}, 5, 0xC0268FD6);
    canvas.fillRect({6, 6, 10, 10}, 0xFF17171A);
    canvas.clear({0, 15, 1, 16}, 0x80C86432);
    const testing_support::TempDir dir;
    const std::wstring path = dir.path() + L"round.png";
    ASSERT_TRUE(tk::writePng(path, surface));

    const std::string file = testing_support::readFileBytes(path);
    const tk::ImagePtr back =
        tk::decodeImage(reinterpret_cast<const unsigned char*>(file.data()), file.size());
    ASSERT_NE(back, nullptr);
    ASSERT_EQ(back->width, 24);
    ASSERT_EQ(back->height, 16);
    int partial = 0;
    for (int i = 0; i < 24 * 16; ++i) {
        const std::uint32_t want = surface.pixels()[i], got = back->pixels[i];
        ASSERT_EQ(got >> 24, want >> 24) << i;
        for (int shift = 0; shift < 24; shift += 8) {
            ASSERT_LE(std::abs(static_cast<int>(got >> shift & 0xFF) -
                               static_cast<int>(want >> shift & 0xFF)),
                      1)
                << i;
        }
        if ((want >> 24) != 0 && (want >> 24) != 255) ++partial;
    }
    EXPECT_GT(partial, 20);
    EXPECT_EQ(back->pixels[15 * 24], 0x80643219u);
    EXPECT_EQ(back->pixels[8 * 24 + 8], 0xFF17171Au);
    EXPECT_EQ(back->pixels[0], 0u);

    const tk::Image image{1, 1, {0xFF010203}};
    EXPECT_TRUE(tk::writePng(path, image));  // replaces the file
    const std::string again = testing_support::readFileBytes(path);
    const tk::ImagePtr one =
        tk::decodeImage(reinterpret_cast<const unsigned char*>(again.data()), again.size());
    ASSERT_NE(one, nullptr);
    EXPECT_EQ(one->pixels, std::vector<std::uint32_t>{0xFF010203});

    const std::wstring nowhere = dir.path() + L"no folder\\x.png";
    EXPECT_FALSE(tk::writePng(nowhere, surface));
    EXPECT_EQ(GetFileAttributesW(nowhere.c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_FALSE(tk::writePng(dir.path() + L"empty.png", tk::Surface{}));
    EXPECT_FALSE(tk::writePng(dir.path() + L"short.png", tk::Image{2, 2, {1, 2, 3}}));
    EXPECT_EQ(GetFileAttributesW((dir.path() + L"empty.png").c_str()), INVALID_FILE_ATTRIBUTES);
}

}  // namespace
