#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "TestSupport.h"
#include "common/Process.h"

namespace {

using Args = std::vector<std::string>;
using namespace std::chrono_literals;

TEST(ProcessTest, SplitsLikeAWindowsRuntimeAndQuotedArgumentsComeBackWhole)
{
    const struct { std::string text; Args expected; } cases[] = {
        {"  a\t b  ", {"a", "b"}},
        {"", {}},
        {"a\"b c\"d", {"ab cd"}},
        {"\"a\"\"b\"", {"a\"b"}},
        {R"(a\\b c\)", {R"(a\\b)", R"(c\)"}},
        {R"(\\"a b\\")", {R"(\a b\)"}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(SplitCommandLine(c.text), c.expected) << c.text;
    }
    for (const std::string argument : {"", "a b", "BASLUS-00974YVES  0", "a\"b", "x\\", "x\\ y\\", "\\\"", "tab\there"}) {
        EXPECT_EQ(SplitCommandLine("copyto " + QuoteCommandLineArgument(argument) + " x"), (Args{"copyto", argument, "x"}))
            << argument;
    }
}

TEST(ProcessTest, RunsInTheFolderDrainsAndCapsTheOutputStopsAtTheTimeLimitAndReportsFailures)
{
    TempDir folder;
    // cat would wait for ever on an inherited terminal or pipe; standard error is not kept.
    const ProcessResult result = RunProcess({"/bin/sh", "-c", "pwd; cat; echo noise >&2; exit 3"}, folder.path(), 60s);
    EXPECT_TRUE(result.started && result.exited && !result.timedOut && result.exitStatus == 3);
    EXPECT_EQ(result.output, folder.path().substr(0, folder.path().size() - 1) + "\n");
    const Args megabyte{"/bin/sh", "-c", "head -c 1000000 /dev/zero"};
    EXPECT_EQ(RunProcess(megabyte, "", 60s).output.size(), 1000000u);
    const ProcessResult capped = RunProcess(megabyte, "", 60s, 1000);
    EXPECT_TRUE(capped.exited && capped.exitStatus == 0 && capped.output.size() == 1000);

    // A program that never ends is stopped, also when the shell ends at once but what it started keeps the output open.
    for (const char* script : {"echo start; exec sleep 1000", "sleep 1000 & echo start"}) {
        const ProcessResult endless = RunProcess({"/bin/sh", "-c", script}, "", 200ms);
        EXPECT_TRUE(endless.started && endless.timedOut && endless.output == "start\n") << script;
    }
    const ProcessResult killed = RunProcess({"/bin/sh", "-c", "kill -9 $$"}, "", 60s);
    EXPECT_TRUE(killed.started && !killed.exited && !killed.timedOut);
    EXPECT_FALSE(RunProcess({folder / "missing"}, "", 1s).started ||
                 RunProcess({"/bin/sh", "-c", "true"}, folder / "missing", 1s).started || RunProcess({}, "", 1s).started);
}

}  // namespace
