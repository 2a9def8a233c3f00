// tracecap PROGRAM [ARGS...]: runs a program, prints every line it writes to the
// debugger output, and exits with the program's exit code.
#include "tests/support/ProcessRunner.h"

#include <cstdio>
#include <string>
#include <vector>

int wmain(int argc, wchar_t** argv)
{
    if (argc < 2) {
        std::fputs("usage: tracecap PROGRAM [ARGS...]\n", stderr);
        return 2;
    }
    std::vector<std::wstring> arguments(argv + 2, argv + argc);
    TestSupport::SProcessOptions options;
    options.timeoutMs = 10 * 60 * 1000;
    const TestSupport::SProcessRun run = TestSupport::RunProcess(argv[1], arguments, options);
    if (!run.started) {
        std::fprintf(stderr, "tracecap: cannot start %ls (error %lu, or another debug monitor is running)\n", argv[1],
                     GetLastError());
        return 2;
    }
    for (const std::string& message : run.messages) {
        std::fputs(message.c_str(), stdout);
        if (message.empty() || message.back() != '\n')
            std::fputc('\n', stdout);
    }
    std::fflush(stdout);
    if (!run.finished) {
        std::fputs("tracecap: the program did not end in time and was stopped\n", stderr);
        return 2;
    }
    return static_cast<int>(run.exitCode);
}
