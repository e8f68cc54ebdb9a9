#include "error_handling.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

namespace {

// Installs a console and a file channel on temporary files for one test.
class LogFixture : public ::testing::Test
{
protected:
    void SetUp() override
    {
        myConsoleFile = std::fopen(dir.file("console.txt").c_str(), "wb");
        g_pConsoleLog = new LogChannel(myConsoleFile, false);
        g_pFileLog = new LogChannel(dir.file("log.txt").c_str());
    }
    void TearDown() override
    {
        delete g_pConsoleLog;
        g_pConsoleLog = nullptr;
        delete g_pFileLog;
        g_pFileLog = nullptr;
        std::fclose(myConsoleFile);
    }
    std::string closeAndReadLog()
    {
        delete g_pFileLog;
        g_pFileLog = nullptr;
        return testsupport::readFile(dir.file("log.txt"));
    }
    std::string console() { return testsupport::readFile(dir.file("console.txt")); }

    testsupport::TempDir dir;
    FILE* myConsoleFile = nullptr;
};

TEST_F(LogFixture, ItemsAndBannersWithCrLf)
{
    *g_pFileLog << "value:" << 46 << 1.5f << "\n";
    const std::string log = closeAndReadLog();
    EXPECT_EQ(log, "=========== LOG start ===========\r\n"
                   "value:46 1.500000 \r\n"
                   "=========== LOG end ===========\r\n");
}

TEST_F(LogFixture, PointerItemKeepsPrefixAndBlank)
{
    *g_pFileLog << static_cast<const void*>(nullptr);
    const std::string log = closeAndReadLog();
    char expected[64];
    std::snprintf(expected, sizeof expected, "0x%p ", static_cast<const void*>(nullptr));
    EXPECT_NE(log.find(expected), std::string::npos) << log;
}

TEST_F(LogFixture, EmptyReportIsTwoMarkerLines)
{
    GarbageCollector gc;
    gc.report();
    const std::string log = closeAndReadLog();
    EXPECT_EQ(log, "=========== LOG start ===========\r\n"
                   "\r\n\r\n---GARBAGE COLLECTOR---\r\n---GARBAGE COLLECTOR---\r\n\r\n"
                   "=========== LOG end ===========\r\n");
}

TEST_F(LogFixture, RegistryKeepsOrderAndRemovesLastMatch)
{
    GarbageCollector gc;
    int p = 0, q = 0;
    gc.add(&p, "src/a.cpp", 10, "p");
    gc.add(&q, "src/b.cpp", 20, "q");
    gc.add(&p, "src/c.cpp", 30, "p");
    gc.remove(&p);
    ASSERT_EQ(gc.count(), 2u);
    EXPECT_EQ(gc.record(0).line, 10);
    EXPECT_EQ(gc.record(1).line, 20);
    gc.report();
    const std::string log = closeAndReadLog();
    char lineP[128], lineQ[128];
    std::snprintf(lineP, sizeof lineP, "p\tsrc/a.cpp\t10 \t0x%p \r\n", static_cast<void*>(&p));
    std::snprintf(lineQ, sizeof lineQ, "q\tsrc/b.cpp\t20 \t0x%p \r\n", static_cast<void*>(&q));
    const std::string expected = std::string("=========== LOG start ===========\r\n") +
                                 "\r\n\r\n---GARBAGE COLLECTOR---\r\n" + lineP + lineQ +
                                 "---GARBAGE COLLECTOR---\r\n\r\n" +
                                 "=========== LOG end ===========\r\n";
    EXPECT_EQ(log, expected);
}

// Entries past the array's growth steps, removed oldest first, newest first,
// from the middle out and with repeated pointers, agree with a plain list
// model after every removal, and the report lists what is left in order.
TEST_F(LogFixture, RegistryAgreesWithAListModelInEveryRemovalOrder)
{
    const int n = 300;
    std::vector<int> cells(n / 2);
    auto pointerOf = [&](int i) -> const void* { return &cells[i % (n / 2)]; }; // each pointer twice
    struct Order
    {
        const char* name;
        std::function<int(int step)> index; // which entry (by registration) the step removes
    };
    const Order orders[] = {
        {"oldest first", [](int s) { return s; }},
        {"newest first", [n](int s) { return n - 1 - s; }},
        {"middle out", [n](int s) { return s % 2 ? n / 2 + (s - 1) / 2 : n / 2 - 1 - s / 2; }},
    };
    for (const Order& order : orders) {
        GarbageCollector gc;
        std::vector<int> model; // line numbers, registration order
        for (int i = 0; i < n; ++i) {
            gc.add(pointerOf(i), "f", i, "e");
            model.push_back(i);
        }
        for (int s = 0; s < n; ++s) {
            const int target = order.index(s);
            gc.remove(pointerOf(target));
            // The most recent live entry with that pointer goes.
            for (int k = static_cast<int>(model.size()) - 1; k >= 0; --k)
                if (pointerOf(model[k]) == pointerOf(target)) {
                    model.erase(model.begin() + k);
                    break;
                }
            ASSERT_EQ(gc.count(), model.size()) << order.name << " step " << s;
            if (s % 37 != 0 && s + 3 <= n)
                continue;
            for (size_t k = 0; k < model.size(); ++k)
                ASSERT_EQ(gc.record(static_cast<uint32_t>(k)).line, model[k]) << order.name << " " << s;
        }
        if (order.name == orders[0].name) {
            // Refill past two growth steps and report two leftovers.
            for (int i = 0; i < 200; ++i)
                gc.add(pointerOf(i), "f", i, "e");
            for (int i = 199; i >= 2; --i)
                gc.remove(pointerOf(i));
            gc.report();
        }
    }
    char lines[2][128];
    for (int i = 0; i < 2; ++i)
        std::snprintf(lines[i], sizeof lines[i], "e\tf\t%d \t0x%p \r\n", i, pointerOf(i));
    const std::string log = closeAndReadLog();
    EXPECT_EQ(log, std::string("=========== LOG start ===========\r\n") + "\r\n\r\n---GARBAGE COLLECTOR---\r\n" +
                       lines[0] + lines[1] + "---GARBAGE COLLECTOR---\r\n\r\n" +
                       "=========== LOG end ===========\r\n");
}

TEST_F(LogFixture, RemovingUnknownPointerIsSilent)
{
    GarbageCollector gc;
    int p = 0, q = 0;
    gc.add(&p, "f", 1, "p");
    gc.remove(&q);
    EXPECT_EQ(gc.count(), 1u);
    gc.remove(nullptr);
    EXPECT_EQ(gc.count(), 1u);
    EXPECT_EQ(closeAndReadLog(), "=========== LOG start ===========\r\n"
                                 "=========== LOG end ===========\r\n");
}

TEST_F(LogFixture, NullPointerRegistersLikeAnyOther)
{
    GarbageCollector gc;
    gc.add(nullptr, "f", 1, "nothing");
    EXPECT_EQ(gc.count(), 1u);
    gc.remove(nullptr);
    EXPECT_EQ(gc.count(), 0u);
}

TEST_F(LogFixture, RegistryFailureLeavesItUnchanged)
{
    GarbageCollector gc;
    int p = 0;
    gc.add(&p, "f", 1, "p");
    gc.failNextAllocations(1);
    gc.add(&p, "f", 2, "p2");
    EXPECT_EQ(gc.count(), 1u);
    gc.failNextAllocations(1);
    gc.remove(&p);
    EXPECT_EQ(gc.count(), 1u);
    const std::string log = closeAndReadLog();
    EXPECT_NE(log.find("src/error_handling.cpp:"), std::string::npos) << log;
    EXPECT_NE(log.find("\tAllocating memory FAILED!\r\n"), std::string::npos);
    EXPECT_NE(console().find("\tAllocating memory FAILED!\n"), std::string::npos);
}

TEST_F(LogFixture, GuardedAllocationFailureIsReportedAndRegistered)
{
    const uint32_t before = g_garbageCollector.count();
    int* tmpdata = nullptr;
    failNextGuardedAllocations(1);
    GUARDED_ARRAY(tmpdata, int, 16);
    EXPECT_EQ(tmpdata, nullptr);
    ASSERT_EQ(g_garbageCollector.count(), before + 1);
    EXPECT_STREQ(g_garbageCollector.record(before).name, "tmpdata");
    g_garbageCollector.remove(nullptr);
    EXPECT_EQ(console(), "=========== LOG start ===========\nAllocating memory FAILED!\n");
    const std::string log = closeAndReadLog();
    EXPECT_NE(log.find("tests/unit/test_error_handling.cpp\t"), std::string::npos) << log;
    EXPECT_NE(log.find(" Allocating memory FAILED!\r\n"), std::string::npos) << log;
}

TEST_F(LogFixture, GuardedAllocationRegistersUnderExpressionText)
{
    const uint32_t before = g_garbageCollector.count();
    struct Holder { int* buffer = nullptr; } holder;
    GUARDED_ARRAY(holder.buffer, int, 4);
    ASSERT_NE(holder.buffer, nullptr);
    EXPECT_STREQ(g_garbageCollector.record(before).name, "holder.buffer");
    RELEASE_ARRAY(holder.buffer);
    EXPECT_EQ(holder.buffer, nullptr);
    EXPECT_EQ(g_garbageCollector.count(), before);
}

} // namespace
