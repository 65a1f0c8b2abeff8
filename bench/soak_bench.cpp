// The hundred-run quit-anywhere soak (tests/support/soak_support.h): the real installer started
// again and again inside the world, ended at random moments by random means; prints every run
// and the table of outcomes by scenario and means. Runs inside the world (scripts/bench.sh).
//   soak_bench [--runs N] [--seed S] [--max-moment-ms M] [--only I,J,...]
// --only replays the runs of those indices alone (with the plans the seed draws for them).
#include <windows.h>
#include <objbase.h>

#include <cstdio>
#include <cwchar>
#include <string>

#include "tests/support/soak_support.h"
#include "tests/support/test_support.h"
#include "tests/support/world_support.h"

int wmain(int argc, wchar_t** argv) {
    soak::Options options{1, 100, 12000, {}};
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::wstring name = argv[i];
        if (name == L"--runs")
            options.runs = static_cast<int>(std::wcstol(argv[i + 1], nullptr, 10));
        if (name == L"--seed") options.seed = std::wcstoull(argv[i + 1], nullptr, 10);
        if (name == L"--only")  // a list of run indices: "45,81"
            for (wchar_t *at = argv[i + 1], *end = at; *at; at = end == at ? at + 1 : end)
                if (const long run = std::wcstol(at, &end, 10); end != at)
                    options.only.insert(static_cast<int>(run));
        if (name == L"--max-moment-ms")
            options.maxMomentMs = static_cast<unsigned>(std::wcstoul(argv[i + 1], nullptr, 10));
    }
    if (!testing_support::world::inWorld()) {
        std::fprintf(stderr, "soak_bench runs inside scripts/world.sh\n");
        return 2;
    }
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    testing_support::TempDir folder;
    std::printf("soak: %d runs, seed %llu, moments up to %u ms\n", options.runs,
                static_cast<unsigned long long>(options.seed), options.maxMomentMs);
    const soak::Report report = soak::run(options, folder.path());
    std::printf("%s", report.table().c_str());
    CoUninitialize();
    return report.failedRuns() == 0 ? 0 : 1;
}
