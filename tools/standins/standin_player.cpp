// Stand-in for the emulator (gxplayer.exe): records how it was started (command line, working
// folder, elevation) and ends.
//
// Scenario ("standins" -> "player"):
//   "exitCode": exit code (default 0)
//   "stay":     true: keep running until ended from outside (as the emulator does)
#include <windows.h>

#include "tools/standins/standin_common.h"

int wmain() {
    const standin::Settings settings("player");
    const bool stay = settings.flag("stay", false);
    const int exitCode = settings.integer("exitCode", 0);
    standin::recordRun("player", [&](standin::JsonWriter& w) {
        w.Key("stay"), w.Bool(stay);
        w.Key("exitCode"), w.Int(exitCode);
    });
    if (stay) Sleep(INFINITE);
    return exitCode;
}
