// Runs a small program built on the entry as a child process and checks its
// output and how it ended.
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include <gtest/gtest.h>

#include "test_support.h"

namespace {

struct Outcome {
    int status = -1;  // exit status, or -1 when ended by a signal
    int signal = 0;   // the signal that ended it
    std::string out, err;
};

std::string slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

class Entry : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_FALSE(temporary_.path().empty()); }

    // Runs the test program in the temporary directory. With sendAfterReady,
    // that signal is sent once the program has written its first line.
    // raiseAt sets QAV_TEST_RAISE for the child; closeError starts it with
    // standard error closed.
    Outcome run(std::vector<std::string> arguments, int sendAfterReady = 0,
                bool ignoreInterrupts = false, const char* raiseAt = nullptr,
                bool closeError = false) {
        const std::string outPath = directory_ + "/.stdout";
        const std::string errPath = directory_ + "/.stderr";
        // A "ready" left by the run before must not release the signal early.
        unlink(outPath.c_str());
        unlink(errPath.c_str());
        pid_t child = fork();
        if (child == 0) {
            if (chdir(directory_.c_str()) != 0) _exit(126);
            int out = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            int err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            dup2(out, 1);
            dup2(err, 2);
            if (closeError) close(2);
            if (raiseAt != nullptr) setenv("QAV_TEST_RAISE", raiseAt, 1);
            // The program starts as a shell would start it, whatever this
            // test was started with (under nohup, hang-ups are ignored).
            std::signal(SIGINT, ignoreInterrupts ? SIG_IGN : SIG_DFL);
            std::signal(SIGHUP, SIG_DFL);
            std::signal(SIGTERM, SIG_DFL);
            std::vector<char*> argv;
            std::string program = program_;
            argv.push_back(program.data());
            for (std::string& argument : arguments) argv.push_back(argument.data());
            argv.push_back(nullptr);
            execv(argv[0], argv.data());
            _exit(127);
        }
        if (sendAfterReady != 0) {
            for (int i = 0; i < 500 && slurp(outPath).find("ready") == std::string::npos; ++i)
                usleep(10000);
            kill(child, sendAfterReady);
        }
        int raw = 0;
        waitpid(child, &raw, 0);
        Outcome outcome;
        if (WIFEXITED(raw)) outcome.status = WEXITSTATUS(raw);
        if (WIFSIGNALED(raw)) outcome.signal = WTERMSIG(raw);
        outcome.out = slurp(outPath);
        outcome.err = slurp(errPath);
        return outcome;
    }

    std::string program_ = QAV_ENTRY_TEST_PROGRAM;
    test_support::TemporaryDirectory temporary_;
    const std::string directory_ = temporary_.path();
};

const char reverted[] = "handlers at exit: reverted, SIGINT not ignored\n";

TEST_F(Entry, ReturnExitsWithZeroAfterTheShutDown) {
    Outcome outcome = run({"-return"});
    EXPECT_EQ(outcome.status, 0);
    EXPECT_EQ(outcome.out, reverted);
    EXPECT_EQ(outcome.err, "");
}

TEST_F(Entry, QuitExitsWithItsCodeAndClosesUserStreams) {
    Outcome outcome = run({"-quit", "user.txt"});
    EXPECT_EQ(outcome.status, 1);
    EXPECT_EQ(outcome.err, "something failed\n");
    EXPECT_EQ(outcome.out, reverted);
    EXPECT_EQ(slurp(directory_ + "/user.txt"), "data\n");

    outcome = run({"-quit0"});
    EXPECT_EQ(outcome.status, 0);
}

TEST_F(Entry, ArgumentsNameStreamsUnlessTheyAreOptions) {
    Outcome outcome = run({"-state", "a", "-x", "b", "-", ""});
    EXPECT_EQ(outcome.status, 0);
    EXPECT_EQ(outcome.out, "argc 6 nextfile 6\nstream 1: a\nstream 2: b\n" +
                               std::string(reverted));

    outcome = run({"-state"});
    EXPECT_EQ(outcome.out, "argc 1 nextfile 3\n" + std::string(reverted));
}

TEST_F(Entry, NamesBeyondTheTableAreNotRecorded) {
    std::vector<std::string> arguments = {"-state"};
    std::string expected;
    for (int i = 1; i <= 30; ++i) {
        arguments.push_back("n" + std::to_string(i));
        if (i <= 22)
            expected += "stream " + std::to_string(i) + ": n" + std::to_string(i) + "\n";
    }
    Outcome outcome = run(arguments);
    EXPECT_EQ(outcome.status, 0);
    EXPECT_EQ(outcome.out, "argc 31 nextfile 33\n" + expected + reverted);
}

TEST_F(Entry, ACommandLineFileIsOpenedOnDemand) {
    std::ofstream(directory_ + "/a.txt") << "word\n";
    Outcome outcome = run({"-read", "a.txt"});
    EXPECT_EQ(outcome.status, 0);
    EXPECT_EQ(outcome.out, "read word\n" + std::string(reverted));

    outcome = run({"-read", "missing.txt"});
    EXPECT_EQ(outcome.status, 1);
    EXPECT_EQ(outcome.err, "ERROR: unable to open file\n");
    // The process ends at once: no shut-down, nothing else written.
    EXPECT_EQ(outcome.out, "handlers at exit: installed, SIGINT not ignored\n");
}

TEST_F(Entry, SignalsEndWithTheirMessageAndNumber) {
    struct {
        int signal;
        const char* message;
    } const cases[] = {
        {SIGINT, "Program terminated\n"},
        {SIGILL, "Illegal instruction\n"},
        {SIGFPE, "Floating point exception\n"},
        {SIGBUS, "Bus error\n"},
        {SIGSEGV, "Segmentation violation\n"},
    };
    for (const auto& c : cases) {
        Outcome raised = run({"-raise", std::to_string(c.signal)});
        EXPECT_EQ(raised.status, c.signal) << c.message;
        EXPECT_EQ(raised.err, c.message);
        EXPECT_EQ(raised.out, reverted);

        Outcome sent = run({"-wait"}, c.signal);
        EXPECT_EQ(sent.status, c.signal) << c.message;
        EXPECT_EQ(sent.err, c.message);
        EXPECT_EQ(sent.out, "ready\n" + std::string(reverted));
    }
}

TEST_F(Entry, TerminationIsHandledOnlyWhenTheProgramAsks) {
    for (int sig : {SIGTERM, SIGHUP}) {
        program_ = QAV_ENTRY_TEST_PROGRAM;
        EXPECT_EQ(run({"-wait"}, sig).status, sig);
        program_ = QAV_BODY_ONLY_PROGRAM;
        const Outcome plain = run({"-wait"}, sig);
        EXPECT_EQ(plain.signal, sig);
        EXPECT_EQ(plain.err, "");
    }
}

TEST_F(Entry, ARealFaultIsReportedLikeARaisedOne) {
    Outcome outcome = run({"-fault"});
    EXPECT_EQ(outcome.status, SIGSEGV);
    EXPECT_EQ(outcome.err, "Segmentation violation\n");
}

TEST_F(Entry, AProgramStartedWithInterruptsIgnoredStaysImmune) {
    Outcome outcome = run({"-wait"}, SIGINT, true);
    EXPECT_EQ(outcome.status, 0);
    EXPECT_EQ(outcome.err, "");
    EXPECT_EQ(outcome.out,
              "ready\nfinished\nhandlers at exit: reverted, SIGINT ignored\n");
}

TEST_F(Entry, ASignalBeforeTheOutermostAreaIsArmedWaitsForIt) {
    Outcome outcome = run({"-return"}, 0, false, "startup");
    EXPECT_EQ(outcome.status, SIGINT);
    EXPECT_EQ(outcome.err, "Program terminated\n");
    EXPECT_EQ(outcome.out, "");  // the body never ran
}

TEST_F(Entry, ASignalDuringTheShutDownDoesNotRestartIt) {
    Outcome outcome = run({"-write", "user.txt"}, 0, false, "close");
    EXPECT_EQ(outcome.status, 0);
    EXPECT_EQ(outcome.err, "");
    EXPECT_EQ(slurp(directory_ + "/user.txt"), "data\n");

    outcome = run({"-quit", "user.txt"}, 0, false, "close");
    EXPECT_EQ(outcome.status, 1);
    EXPECT_EQ(outcome.err, "something failed\n");
    EXPECT_EQ(slurp(directory_ + "/user.txt"), "data\n");
}

TEST_F(Entry, MessagesNeverLandInAFileWhenStandardErrorIsClosed) {
    // The file the body opens would otherwise be descriptor 2.
    Outcome outcome = run({"-quit", "user.txt"}, 0, false, nullptr, true);
    EXPECT_EQ(outcome.status, 1);
    EXPECT_EQ(slurp(directory_ + "/user.txt"), "data\n");
}

TEST_F(Entry, AQuitWhileQuittingInTheOutermostAreaEndsAtOnce) {
    Outcome outcome = run({"-quit-while-quitting"});
    EXPECT_EQ(outcome.status, 5);
    EXPECT_EQ(outcome.out, "handlers at exit: installed, SIGINT not ignored\n");
}

}  // namespace
