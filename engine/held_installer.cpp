#include "engine/held_installer.h"

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <memory>
#include <thread>

#include "engine/installer_signature.h"
#include "telemetry/md5.h"
#include "utility/file.h"
#include "utility/log.h"
#include "utility/text.h"

namespace {

// How often and how far apart holding the file is tried while another handle shares it badly.
constexpr int kOpenAttempts = 10;
constexpr DWORD kOpenRetryMs = 50;

// Mapped and hashed at a time (a multiple of the allocation granularity).
constexpr std::uint64_t kViewBytes = 16 << 20;

struct ViewDeleter {
    void operator()(const void* view) const { UnmapViewOfFile(view); }
};

bool hashMapped(HANDLE file, std::uint64_t size, telemetry::Md5& md5) {
    const utility::UniqueHandle mapping(
        CreateFileMappingW(file, nullptr, PAGE_READONLY, 0, 0, nullptr));
    if (!mapping) return false;
    for (std::uint64_t offset = 0; offset < size; offset += kViewBytes) {
        const auto length = static_cast<SIZE_T>(std::min(kViewBytes, size - offset));
        const std::unique_ptr<const void, ViewDeleter> view(
            MapViewOfFile(mapping.get(), FILE_MAP_READ, static_cast<DWORD>(offset >> 32),
                          static_cast<DWORD>(offset & 0xFFFFFFFF), length));
        if (!view || !md5.update(view.get(), length)) return false;
    }
    return true;
}

void logCheckOffOnce(const char* tag) {
    static std::atomic<bool> logged{false};
    if (!logged.exchange(true)) {
        LOG_AT(tag, L"no installer signer in this build: signatures are not checked");
    }
}

bool refuse(HeldInstaller& installer) {
    installer.release();
    utility::ufile::removeFile(installer.path());
    return false;
}

}  // namespace

bool HeldInstaller::open(const std::wstring& path) {
    path_ = path;
    // A handle of the download that the system has not quite let go of yet makes the first
    // tries fail with a sharing violation; one that goes on writing keeps the file from being held.
    for (int attempt = 0; attempt < kOpenAttempts; ++attempt) {
        file_.reset(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
        if (file_.valid() || GetLastError() != ERROR_SHARING_VIOLATION) break;
        Sleep(kOpenRetryMs);
    }
    return file_.valid();
}

std::string HeldInstaller::digest() const {
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(file_.get(), &size)) return {};
    telemetry::Md5 md5;
    if (!hashMapped(file_.get(), static_cast<std::uint64_t>(size.QuadPart), md5)) return {};
    return md5.finishHex();
}

namespace held_installer {

bool holdChecked(const std::wstring& path, const std::string& md5, std::wstring_view signer,
                 HeldInstaller& installer, const char* tag, bool* notTheVendors) {
    if (notTheVendors != nullptr) *notTheVendors = false;
    if (!installer.open(path)) {
        LOG_AT(tag, L"installer cannot be held, error %d: %s", static_cast<int>(GetLastError()),
               path.c_str());
        return refuse(installer);
    }
    const ULONGLONG start = GetTickCount64();
    std::string actual;
    std::thread digest;
    if (!md5.empty()) digest = std::thread([&] { actual = installer.digest(); });
    installer_signature::Verdict verdict;
    if (signer.empty()) {
        logCheckOffOnce(tag);
    } else {
        verdict = installer_signature::verify(installer.handle(), path, signer);
    }
    if (digest.joinable()) digest.join();
    const auto took = static_cast<unsigned>(GetTickCount64() - start);
    if (actual != md5) {
        LOG_AT(tag, L"md5 mismatch: expected %s, got %s; removing %s",
               utility::ansiToWide(md5).c_str(),
               utility::ansiToWide(actual.empty() ? "nothing" : actual).c_str(), path.c_str());
        return refuse(installer);
    }
    if (!verdict.trusted()) {
        LOG_AT(tag, L"installer refused: %s (0x%08X, signer \"%s\"); removing %s",
               installer_signature::refusalName(verdict.refusal),
               static_cast<unsigned>(verdict.code), verdict.signer.c_str(), path.c_str());
        if (notTheVendors != nullptr) *notTheVendors = true;
        return refuse(installer);
    }
    LOG_AT(tag, L"installer held and checked in %u ms (md5 %s, signer \"%s\")", took,
           md5.empty() ? L"not given" : L"matches", verdict.signer.c_str());
    return true;
}

}  // namespace held_installer
