// Helpers shared by the test programs.
#pragma once

#include <windows.h>

#include <string>

namespace testing_support {

// Windows path of a peer program built beside the tests ("name" without ".exe").
std::wstring peerPath(const std::wstring& name);

// Windows path of a library built beside the peers ("name" without ".dll").
std::wstring peerLibraryPath(const std::wstring& name);
// Windows path of the folder where the build puts generated test data.
std::wstring dataDir();

// A new empty folder under the temporary folder, removed with its content on destruction.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    // The folder path, with a trailing backslash.
    const std::wstring& path() const { return path_; }

private:
    std::wstring path_;
};

// A peer program started as another process; waits for it (bounded) on destruction.
class PeerProcess {
public:
    // Starts peerPath(name) with the arguments appended to its quoted path.
    PeerProcess(const std::wstring& name, const std::wstring& arguments);
    ~PeerProcess();
    PeerProcess(const PeerProcess&) = delete;
    PeerProcess& operator=(const PeerProcess&) = delete;

    bool started() const { return process_ != nullptr; }
    DWORD id() const { return id_; }
    HANDLE handle() const { return process_; }
    // Waits for the process to end; its exit code, or -1 when it did not end in time.
    long wait(DWORD timeoutMs = 60000);

private:
    HANDLE process_ = nullptr;
    DWORD id_ = 0;
};

// Whole content of a file as bytes; empty when it cannot be read.
std::string readFileBytes(const std::wstring& path);
// Writes the bytes as the file's whole content; false on failure.
bool writeFileBytes(const std::wstring& path, const std::string& bytes);

}  // namespace testing_support
