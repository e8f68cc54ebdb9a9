#include "command_line.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {
CommandLine parse(std::vector<const char*> args)
{
    args.insert(args.begin(), "glimra");
    return parseCommandLine(static_cast<int>(args.size()), args.data());
}
}

TEST(CommandLine, NoArguments)
{
    const CommandLine cl = parse({});
    EXPECT_FALSE(cl.hasData);
    EXPECT_FALSE(cl.hasMask);
    EXPECT_FALSE(cl.hasPalette);
}

TEST(CommandLine, OptionAsLastArgumentHasNoValue)
{
    EXPECT_FALSE(parse({"-d"}).hasData);
    EXPECT_FALSE(parse({"-p"}).hasPalette);
    const CommandLine cl = parse({"-d", "a.zvf", "-m"});
    EXPECT_EQ(cl.dataFile, "a.zvf");
    EXPECT_FALSE(cl.hasMask);
}

TEST(CommandLine, ValueIsNotExaminedAsOption)
{
    const CommandLine cl = parse({"-d", "-m", "x"});
    EXPECT_TRUE(cl.hasData);
    EXPECT_EQ(cl.dataFile, "-m");
    EXPECT_FALSE(cl.hasMask);
}

TEST(CommandLine, LaterOptionReplacesEarlier)
{
    const CommandLine cl = parse({"-d", "first.zvf", "-d", "second.zvf"});
    EXPECT_EQ(cl.dataFile, "second.zvf");
}

TEST(CommandLine, ExactCaseSensitiveAndOthersIgnored)
{
    const CommandLine cl = parse({"-D", "a", "--d", "b", "-m", "mask.zvf", "-p", "pal.pal", "extra"});
    EXPECT_FALSE(cl.hasData);
    EXPECT_EQ(cl.maskFile, "mask.zvf");
    EXPECT_EQ(cl.paletteFile, "pal.pal");
}

// "--help" asks for the usage alone; an unknown option (a word starting
// with "-" that is no option's value) stops the start with status 2, the
// first one named; plain words are still ignored.
TEST(CommandLine, HelpAndUnknownOptionsEndTheStart)
{
    std::string message;
    EXPECT_EQ(commandLineStatus(parse({"-d", "x.zvf"}), &message), -1);
    EXPECT_EQ(commandLineStatus(parse({"extra", "words"}), &message), -1);
    EXPECT_EQ(message, "");
    EXPECT_EQ(commandLineStatus(parse({"--help", "-d"}), &message), 0);
    EXPECT_EQ(commandLineStatus(parse({"-d", "x.zvf", "-h"}), &message), 0);
    EXPECT_EQ(message, "");
    EXPECT_EQ(commandLineStatus(parse({"-D", "a", "--d", "b"}), &message), 2);
    EXPECT_EQ(message, "glimra: unknown option -D");
    // Values are not options, whatever they look like; a lone "-" is a word.
    EXPECT_EQ(commandLineStatus(parse({"-d", "-odd-name.zvf", "-p", "--help", "-"}), &message), -1);
    // The program's name is no option either.
    const char* const argv[] = {"-glimra", "-d", "a"};
    EXPECT_EQ(commandLineStatus(parseCommandLine(3, argv), &message), -1);
}

TEST(CommandLine, UsageTextIsExact)
{
    EXPECT_STREQ(kUsageText, "glimra --- basic volume renderer\n"
                             "usage: glimra [options]\n"
                             "options:\n"
                             "\t-d STRING .......... 3D data input file\n"
                             "\t-p STRING .......... palette input file\n"
                             "\t-m STRING .......... 3D mask input file\n");
}

// "--memory SIZE" bounds a pyramid's bricks: megabytes or a size with a
// unit; anything else is refused with status 2 and the reason.
TEST(CommandLine, MemoryTakesASize)
{
    std::string message;
    const CommandLine cl = parse({"-d", "p.zarr", "--memory", "2G"});
    EXPECT_TRUE(cl.hasMemory);
    EXPECT_EQ(cl.memory, "2G");
    EXPECT_EQ(cl.dataFile, "p.zarr");
    EXPECT_EQ(commandLineStatus(cl, &message), -1);
    EXPECT_EQ(commandLineStatus(parse({"--memory", "512"}), &message), -1);
    EXPECT_EQ(commandLineStatus(parse({"--memory", "lots"}), &message), 2);
    EXPECT_EQ(message, "glimra: --memory needs megabytes from 1 to 16777216, or a size such as 512M or 2G");
    EXPECT_EQ(commandLineStatus(parse({"--memory", "0"}), &message), 2);
    EXPECT_EQ(commandLineStatus(parse({"--memory", "16777217"}), &message), 2);
    EXPECT_FALSE(parse({"--memory"}).hasMemory);
}
