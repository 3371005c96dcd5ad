// An exception that nobody catches ends the application: the three-line report on standard
// error (line feeds only, no final line break), UnhandledException and Stop(False), status 0.
#include <gtest/gtest.h>

#include <ostream>
#include <sys/wait.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

namespace {

struct Outcome {
    int status;
    std::string out;
    std::string err;
};

std::string ReadFile(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

Outcome RunThrowingApp(const std::string& mode) {
    char folder[] = "/tmp/throwing_app.XXXXXX";
    const std::string dir = mkdtemp(folder);
    const std::string command =
        std::string(THROWING_APP) + " " + mode + " >" + dir + "/out 2>" + dir + "/err";
    const int raw = std::system(command.c_str());
    Outcome outcome{WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, ReadFile(dir + "/out"), ReadFile(dir + "/err")};
    std::system(("rm -rf " + dir).c_str());
    return outcome;
}

struct ReportCase {
    const char* mode;
    const char* report;
    const char* events;
};

std::ostream& operator<<(std::ostream& out, const ReportCase& c) { return out << c.mode; }

class UncaughtExceptionTest : public ::testing::TestWithParam<ReportCase> {};

TEST_P(UncaughtExceptionTest, EndsTheApplication) {
    const Outcome outcome = RunThrowingApp(GetParam().mode);
    EXPECT_EQ(outcome.status, 0);
    EXPECT_EQ(outcome.err, GetParam().report);
    EXPECT_EQ(outcome.out, GetParam().events);
}

INSTANTIATE_TEST_SUITE_P(
    Exceptions, UncaughtExceptionTest,
    ::testing::Values(
        ReportCase{"runtime",
                   "Exception Message: Something broke\nException Error Number: -42\n"
                   "An exception of class RuntimeException was not handled.  The application must shut down.",
                   "DontDaemonize\nUnhandledException RuntimeException\nStop(False)\n"},
        ReportCase{"nil",
                   "Exception Message: \nException Error Number: 0\n"
                   "An exception of class NilObjectException was not handled.  The application must shut down.",
                   "DontDaemonize\nUnhandledException NilObjectException\nStop(False)\n"},
        ReportCase{"foreign",
                   "Exception Message: not one of ours\nException Error Number: 0\n"
                   "An exception of class std::runtime_error was not handled.  The application must shut down.",
                   "DontDaemonize\nUnhandledException std::runtime_error\nStop(False)\n"},
        ReportCase{"end", "", "DontDaemonize\nStop(False)\n"},
        ReportCase{"thread-end", "", "DontDaemonize\nStop(False)\n"}));

TEST(ApplicationHost, RunResultBecomesTheExitStatus) {
    const Outcome outcome = RunThrowingApp("return");
    EXPECT_EQ(outcome.status, 3);
    EXPECT_EQ(outcome.err, "");
    EXPECT_EQ(outcome.out, "DontDaemonize\nStop(False)\n");
}

}  // namespace
