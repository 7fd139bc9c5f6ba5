// The stand-ins for the outside libraries: log file lines, resolver buffer, sleep.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <unistd.h>

#include "host/EvDebug.h"
#include "host/WbNetwork.h"
#include "host/WbUtils.h"
#include "standins/qzlib/EvDebugSink.h"
#include "tests/fakes/LogCapture.h"

namespace {

std::string readFile(const std::string& path) {
    std::ifstream in(path);
    std::stringstream all;
    all << in.rdbuf();
    return all.str();
}

TEST(EvDebugStandIn, WritesOneLinePerCallWithPidJobLevelAndContext) {
    char name[] = "/tmp/hnas-log-XXXXXX";
    const int fd = mkstemp(name);
    ASSERT_GE(fd, 0);
    close(fd);
    setenv(kQzLogFileVariable, name, 1);
    {
        EvDebug log;
        log.DebugLvl("Ctx::one", -1, 77ULL, "value [%s] count[%d]", "a%sb", 3);
        log.DebugJob("Ctx::two", 78ULL, "%s", "opening");
        log.DebugLvl("Ctx::three", 0, "%s", "no job");
        log.Debug("Ctx::four", "plain %n text");
        for (const int level : {1, 3, 5, 7}) log.DebugLvl("Ctx::five", level, 79ULL, "at %d", level);
    }
    unsetenv(kQzLogFileVariable);
    const std::string text = readFile(name);
    std::remove(name);

    std::istringstream lines(text);
    std::string line;
    std::vector<std::string> all;
    while (std::getline(lines, line)) all.push_back(line);
    ASSERT_EQ(8u, all.size());
    const std::string pid = "pid=" + std::to_string(getpid());
    EXPECT_NE(std::string::npos, all[0].find(pid + " job=77 ERROR [Ctx::one] value [a%sb] count[3]"));
    EXPECT_NE(std::string::npos, all[1].find("job=78 INFO [Ctx::two] opening"));
    EXPECT_NE(std::string::npos, all[2].find("job=0 INFO [Ctx::three] no job"));
    EXPECT_NE(std::string::npos, all[3].find("[Ctx::four] plain %n text"));
    // Every level by name, as the host log names its own.
    EXPECT_NE(std::string::npos, all[4].find("job=79 DETAIL [Ctx::five] at 1"));
    EXPECT_NE(std::string::npos, all[5].find("job=79 VERBOSE [Ctx::five] at 3"));
    EXPECT_NE(std::string::npos, all[6].find("job=79 TRACE [Ctx::five] at 5"));
    EXPECT_NE(std::string::npos, all[7].find("job=79 LEVEL7 [Ctx::five] at 7"));
    // Lines open with the time, e.g. "2026-12-10 00:31:07.512".
    EXPECT_EQ('-', all[0][4]);
    EXPECT_EQ(':', all[0][13]);
}

TEST(EvDebugStandIn, SinkSeesEveryLine) {
    fakehost::LogCapture capture;
    EvEvent log;
    log.DebugLvl("Ctx", 5, 9ULL, "%d-%s", 12, "x");
    ASSERT_EQ(1u, capture.lines().size());
    const EvLogLine line = capture.lines()[0];
    EXPECT_EQ(5, line.level);
    EXPECT_EQ(9u, line.jobId);
    EXPECT_EQ("Ctx", line.context);
    EXPECT_EQ("12-x", line.message);
}

TEST(EvDebugStandIn, LongMessagesAreKeptWhole) {
    fakehost::LogCapture capture;
    EvDebug log;
    const std::string longText(5000, 'q');
    log.DebugLvl("Ctx", 1, 1ULL, "[%s]", longText.c_str());
    EXPECT_EQ("[" + longText + "]", capture.lines().at(0).message);
}

TEST(ResolverStandIn, ResolvesIntoTheCallersBuffer) {
    alignas(struct hostent) char buffer[QZ_GETHOSTBYNAME_BUFFER_SIZE];
    struct hostent* entry = _QZ_gethostbyname_("127.0.0.1", buffer, 0);
    ASSERT_NE(nullptr, entry);
    EXPECT_GE(reinterpret_cast<char*>(entry), buffer);
    EXPECT_LT(reinterpret_cast<char*>(entry), buffer + sizeof(buffer));
    ASSERT_NE(nullptr, entry->h_addr_list[0]);
    const unsigned char* a = reinterpret_cast<const unsigned char*>(entry->h_addr_list[0]);
    EXPECT_EQ(127, a[0]);
    EXPECT_EQ(1, a[3]);
    EXPECT_EQ(nullptr, _QZ_gethostbyname_("no-such-host.invalid", buffer, 0));
}

TEST(SleepStandIn, BlocksForTheGivenTimeAndReturnsAtOnceForZeroOrLess) {
    using Clock = std::chrono::steady_clock;
    auto start = Clock::now();
    WBSLEEP_InTeRnAl(120, __FILE__, __LINE__);
    EXPECT_GE(Clock::now() - start, std::chrono::milliseconds(120));

    start = Clock::now();
    WBSLEEP_InTeRnAl(0, __FILE__, __LINE__);
    WBSLEEP_InTeRnAl(-5000, __FILE__, __LINE__);
    EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(100));
}

}  // namespace
