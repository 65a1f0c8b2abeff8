// A sender on the window channel, as the emulator's installer or a second downloader is.
//   ipc_peer.exe <channel class name>
// Posts 0x0401 (1, 2) and 0x0400 (3, 4), sends WM_COPYDATA (5, a block with dwData 6 and the
// bytes "copy"), posts 11124 (-5, 0) and last 0x0500 (7, 8).
// Exit code 0 when the window was found and every post succeeded, 3 when no window was found.
#include <windows.h>

#include "utility/window_ipc.h"

int wmain(int argc, wchar_t** argv) {
    if (argc < 2) return 2;
    utility::WindowIPC channel;
    if (!channel.open(argv[1])) return 3;
    bool posted = channel.post(0x0401, 1, 2);
    posted = channel.post(0x0400, 3, 4) && posted;
    // The system carries copy-data only when sent: it copies the block into the receiver.
    char bytes[] = "copy";
    COPYDATASTRUCT block{6, sizeof(bytes), bytes};
    DWORD_PTR answer = 0;
    posted = SendMessageTimeoutW(channel.window(), WM_COPYDATA, 5, reinterpret_cast<LPARAM>(&block),
                                 SMTO_NORMAL, 30000, &answer) &&
             posted;
    posted = channel.post(11124, static_cast<WPARAM>(-5), 0) && posted;
    posted = channel.post(0x0500, 7, 8) && posted;
    return posted ? 0 : 1;
}
