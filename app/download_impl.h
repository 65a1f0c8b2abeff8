// The application's top-level object: guards against a second copy, installs the fonts, sets
// the model and the toolkit up, shows the main window, receives the installer's messages on the
// window channel and tears everything down in order. One per process, living in the entry
// function's frame. UI thread only.
#pragma once

#include <windows.h>

#include <string>

#include "utility/window_ipc.h"

class CMainFrame;

class DownloadImpl : public utility::IWindowIPCHandle {
public:
    DownloadImpl() = default;
    DownloadImpl(const DownloadImpl&) = delete;
    DownloadImpl& operator=(const DownloadImpl&) = delete;

    // False when another copy runs (it has been asked to show itself).
    bool entrance(HINSTANCE instance, const wchar_t* commandLine);
    // Creates the main window on the first call, then shows and raises it; the first time it
    // shows, the system checks follow. When it cannot be created the message loop is asked to
    // end with kExitNoMainWindow.
    void showMainFrame();
    int onHandleWindowIPC(UINT message, WPARAM wParam, LPARAM lParam) override;
    // What the main window does on this system: the unsupported-system box before Vista, the
    // switch to edition 4 on a 32-bit system.
    void applySystemChecks(bool vistaOrLater, bool is64Bit);
    // Removes the font the run registered.
    void unregisterFont();
    // The ordered teardown after the message loop.
    void shutdown();

    // The exit code of a run whose main window could not be created (its layout cannot be built
    // or lacks a control the window needs).
    static constexpr int kExitNoMainWindow = 3;

    // The folder the fonts are extracted into, with a trailing backslash.
    static std::wstring fontsFolder();

private:
    void installFonts(HINSTANCE instance);
    void setUpToolkit(HINSTANCE instance);

    utility::WindowIPC ipc_;
    CMainFrame* mainFrame_ = nullptr;
    std::wstring registeredFont_;
    bool systemChecked_ = false;
};
