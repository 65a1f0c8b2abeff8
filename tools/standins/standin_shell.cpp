// Stand-in for the user's desktop shell (explorer.exe in the Windows folder), which the world
// starts before anything else, as a signed-in session has one. Programs that start others as the
// signed-in user take its token. It records its run and stays until the world ends.
#include <windows.h>

#include "tools/standins/standin_common.h"

int wmain() {
    standin::recordRun("shell", nullptr);
    Sleep(INFINITE);
    return 0;
}
