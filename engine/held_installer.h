// The downloaded offline installer, held open from its last check until the process has started
// from it: read access only, shared with readers only, so that nobody can write, replace, rename
// or delete the file in between. The checks run on the held file: the digest read through it
// again and the Authenticode signature.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

#include "utility/handle.h"

class HeldInstaller {
public:
    HeldInstaller() = default;
    HeldInstaller(HeldInstaller&&) = default;
    HeldInstaller& operator=(HeldInstaller&&) = default;

    // Opens the file held; false (with the system's error) when it cannot be, for instance while
    // another handle may write it.
    bool open(const std::wstring& path);
    bool held() const { return file_.valid(); }
    HANDLE handle() const { return file_.get(); }
    const std::wstring& path() const { return path_; }
    // Lets go of the file.
    void release() { file_.reset(); }

    // The MD5 of the held file as 32 lower-case hexadecimal digits, read through a mapping of the
    // handle (the handle's file position stays where it is); empty when it cannot be read.
    std::string digest() const;

private:
    utility::UniqueHandle file_;
    std::wstring path_;
};

namespace held_installer {

// Holds the installer and checks it: the digest again when there is one to compare with (md5
// empty: none), and the vendor's signature when the deployment names a signer, side by side. On
// success the file stays held; otherwise it is let go and removed, and the reason is logged
// under the tag. notTheVendors (may be null) tells whether it was the signature that refused it.
bool holdChecked(const std::wstring& path, const std::string& md5, std::wstring_view signer,
                 HeldInstaller& installer, const char* tag, bool* notTheVendors = nullptr);

}  // namespace held_installer
