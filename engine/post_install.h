// Preparing the emulator's first start after its installer ran: the channel open id in the
// emulator's configuration file, the launch images and shortcut icon, the first-run settings,
// the autorun value and the desktop shortcut; and starting the emulator without the
// downloader's administrator rights.
#pragma once

#include <windows.h>

#include <functional>
#include <optional>
#include <string>

struct LaunchSettings;

namespace post_install {

// The emulator's configuration file below the install folder.
std::wstring configFilePath(const std::wstring& installFolder);
// The data folder: the install folder text followed directly by "data\".
std::wstring dataFolder(const std::wstring& installFolder);

// Replaces the string member "channelOpenId" of the configuration file with the server's open
// id. Logs why nothing changed otherwise.
void writeChannelOpenId(const std::wstring& configFile, const std::wstring& serverOpenId);

// The name as one file-name component that cannot leave its folder: reserved characters and
// path separators become "_", trailing dots and blanks go. Nothing when no usable name remains
// (empty, only dots, a reserved device name).
std::optional<std::wstring> safeFileName(const std::wstring& name);

// Fetches the URL into the file, at most three attempts with a 200 ms pause after a failure;
// once the stop event (may be null) is signalled, no further attempt is made.
using FetchFunction = std::function<bool(const std::wstring& url, const std::wstring& path)>;
bool fetchWithRetries(const FetchFunction& fetch, const std::wstring& url, const std::wstring& path,
                      HANDLE stop = nullptr);

// Fetches the launch images and the shortcut icon the settings name into the data folder.
void fetchLaunchImages(const LaunchSettings& settings, const std::wstring& dataFolder,
                       const FetchFunction& fetch, HANDLE stop = nullptr);

// The settings as the first run may use them: the package to run ("runapp"), which goes into
// "data.ini" and onto the shortcut's command line, is kept only when it is a valid Android
// package name; any other value is dropped with a log line.
LaunchSettings acceptedLaunchSettings(LaunchSettings settings);

// Writes the first-run settings of section "setting" of "data.ini" in the data folder, and
// removes the news program from the autorun list when the settings ask for it.
void writeFirstRunSettings(const LaunchSettings& settings, const std::wstring& dataFolder);

// The desktop shortcut to the emulator, when a name and its downloaded icon are there. Runs
// the shell's link interface on a thread of its own with COM initialised.
void createDesktopShortcut(const LaunchSettings& settings, const std::wstring& installFolder,
                           const std::wstring& dataFolder);

// The arguments that start the emulator with the run's package.
std::wstring playerArguments(const std::wstring& package);

// The system's version as the legacy query reports it to this process (6.2 from Windows 8 on,
// since the manifest names no supported systems).
OSVERSIONINFOW reportedOsVersion();
// Whether the emulator is started through the shell's token on a system reporting that version:
// 6.2 and every later version, compared as (major, minor); older systems start it through the
// shell.
bool usesShellToken(unsigned long majorVersion, unsigned long minorVersion);

// Whether a process is the desktop shell whose token starts the emulator: its image is the
// Windows folder's explorer.exe (or reads just "explorer.exe"), and it runs in the downloader's
// own session, where the user who started the downloader is signed in.
bool isSessionShell(const std::wstring& imagePath, const std::wstring& expectedPath,
                    unsigned long processSession, unsigned long ownSession);

// Starts the executable with the shell's (un-elevated) token; false when that is not possible.
bool startUnelevated(const std::wstring& executable, const std::wstring& arguments);

}  // namespace post_install
