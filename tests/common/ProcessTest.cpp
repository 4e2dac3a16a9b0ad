#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "TestSupport.h"
#include "common/Process.h"

namespace {

using Args = std::vector<std::string>;
using std::chrono::milliseconds;

TEST(ProcessTest, SplitsLikeAWindowsRuntime)
{
    const struct {
        std::string text;
        Args expected;
    } cases[] = {
        {"-h 192.168.0.10 dir mc0:", {"-h", "192.168.0.10", "dir", "mc0:"}},
        {"  a\t b  ", {"a", "b"}},
        {"", {}},
        {"\"a b\" c", {"a b", "c"}},
        {"a\"b c\"d", {"ab cd"}},
        {"\"\"", {""}},
        {"\"a\"\"b\"", {"a\"b"}},
        {R"(\"x)", {"\"x"}},
        {R"(a\\b c\)", {R"(a\\b)", R"(c\)"}},
        {R"(\\"a b\\")", {R"(\a b\)"}},
        {R"(a\\\"b)", {R"(a\"b)"}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(SplitCommandLine(c.text), c.expected) << c.text;
    }
}

TEST(ProcessTest, QuotedArgumentsComeBackWhole)
{
    EXPECT_EQ(QuoteCommandLineArgument("mc0:SAVE/icon.sys"), "mc0:SAVE/icon.sys");
    for (const std::string argument : {"", "a b", "BASLUS-00974YVES  0", "a\"b", "x\\", "x\\ y\\", "\\\"", "tab\there"}) {
        EXPECT_EQ(SplitCommandLine("copyto " + QuoteCommandLineArgument(argument) + " x"),
                  (Args{"copyto", argument, "x"}))
            << argument;
    }
}

TEST(ProcessTest, RunsInTheFolderWithNothingOnInputAndOnlyStandardOutputKept)
{
    TempDir folder;
    // cat would wait for ever on an inherited terminal or pipe.
    const ProcessResult result =
        RunProcess({"/bin/sh", "-c", "pwd; cat; echo noise >&2; exit 3"}, folder.path(), milliseconds(60'000));
    EXPECT_TRUE(result.started);
    EXPECT_TRUE(result.exited);
    EXPECT_FALSE(result.timedOut);
    EXPECT_EQ(result.exitStatus, 3);
    EXPECT_EQ(result.output, folder.path().substr(0, folder.path().size() - 1) + "\n");
}

TEST(ProcessTest, DrainsLargeOutputAndCapsWhatItKeeps)
{
    const Args megabyte{"/bin/sh", "-c", "head -c 1000000 /dev/zero"};
    const ProcessResult whole = RunProcess(megabyte, "", milliseconds(60'000));
    EXPECT_TRUE(whole.exited);
    EXPECT_EQ(whole.output.size(), 1000000u);

    const ProcessResult capped = RunProcess(megabyte, "", milliseconds(60'000), 1000);
    EXPECT_TRUE(capped.exited);
    EXPECT_EQ(capped.exitStatus, 0);
    EXPECT_EQ(capped.output.size(), 1000u);
}

TEST(ProcessTest, StopsAProgramThatNeverEndsOrDiesAndReportsOnesThatCannotStart)
{
    const ProcessResult endless = RunProcess({"/bin/sh", "-c", "echo start; exec sleep 1000"}, "", milliseconds(200));
    EXPECT_TRUE(endless.started);
    EXPECT_TRUE(endless.timedOut);
    EXPECT_FALSE(endless.exited);
    EXPECT_EQ(endless.output, "start\n");

    // The shell ends at once, but what it started keeps the output open.
    const ProcessResult child = RunProcess({"/bin/sh", "-c", "sleep 1000 & echo x"}, "", milliseconds(200));
    EXPECT_TRUE(child.timedOut);
    EXPECT_EQ(child.output, "x\n");

    const ProcessResult killed = RunProcess({"/bin/sh", "-c", "kill -9 $$"}, "", milliseconds(60'000));
    EXPECT_TRUE(killed.started);
    EXPECT_FALSE(killed.exited);
    EXPECT_FALSE(killed.timedOut);

    TempDir folder;
    EXPECT_FALSE(RunProcess({folder / "missing"}, "", milliseconds(1000)).started);
    EXPECT_FALSE(RunProcess({"/bin/sh", "-c", "true"}, folder / "missing", milliseconds(1000)).started);
    EXPECT_FALSE(RunProcess({}, "", milliseconds(1000)).started);
}

}  // namespace
