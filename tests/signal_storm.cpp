// Sends one signal at a random moment of each of many short runs of a
// program, from its start-up to its exit, and checks that every run ends
// either as it would without the signal or with the signal's message and
// number as exit status: never a crash, a double close or a second
// shut-down. The output's name holds its old content or the whole new one,
// and only SIGKILL may leave a temporary file behind. An output written in
// place (it has a second name) may be left cut, but then it starts with
// the mark and does not compile; but under SIGKILL, it holds nothing of
// the old text behind the new and the run says so.
//
//   signal_storm QAVPROF QAVCVT [RUNS]
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <random>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

std::string slurp(const std::string& path) {
    std::string text;
    FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) return text;
    char buffer[65536];
    std::size_t got;
    while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0) text.append(buffer, got);
    std::fclose(file);
    return text;
}

void spill(const std::string& path, const std::string& text) {
    FILE* file = std::fopen(path.c_str(), "wb");
    std::fwrite(text.data(), 1, text.size(), file);
    std::fclose(file);
}

double now() {
    timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

struct Program {
    const char* name;
    std::vector<std::string> argv;
    std::string quietErr;  // standard error of a run that was not signalled
    std::string output;    // the file the program writes, or ""
    std::vector<int> signals;
    bool inPlace = false;  // the output has a second name: it is written where it is
    bool sharesStart = false;  // its old text starts as the new one does (for -keep)
    int runsDivisor = 1;   // runs a slower program gets: RUNS divided by this
    // What an output cut in place says, and the start of its mark.
    std::string incomplete = "qavcvt: Written in place and now incomplete: prog_QAV.c\n";
    std::string mark = "#error ";
};

// Why an output left neither old nor whole is not as a cut output in place
// must be, or "".
std::string cutProblem(const std::string& work, const Program& program, const std::string& output,
                       const std::string& err, int sig) {
    if (!program.inPlace) return "a cut output was left";
    if (output.compare(0, program.mark.size(), program.mark) != 0) return "a cut output without the mark";
    // SIGKILL between the mark and the cut after it can leave the old text
    // behind the mark, but no other signal.
    if (sig != SIGKILL && output.find("old tail") != std::string::npos)
        return "the old text's tail behind the new";
    if (sig != SIGKILL && err.find(program.incomplete) == std::string::npos)
        return "a cut output not said to be: " + err;
    if (program.mark != "#error ") return "";
    const std::string command =
        "cc -fsyntax-only -Wfatal-errors -x c '" + work + "/" + program.output + "' 2>/dev/null";
    if (std::system(command.c_str()) == 0) return "a cut output that compiles";
    return "";
}

// Where a hung process stands: its state, the kernel's wait channel and
// system call, and its stack when gdb is at hand. A hang seen once on a
// loaded runner can only be understood from this.
std::string whereHung(pid_t child) {
    const std::string proc = "/proc/" + std::to_string(child);
    std::string stat = slurp(proc + "/stat");
    const std::size_t close = stat.rfind(')');
    std::string where = "state " + (close == std::string::npos ? stat : stat.substr(close + 2, 1));
    where += ", waiting in " + slurp(proc + "/wchan") + ", system call " + slurp(proc + "/syscall");
    const std::string command = "gdb -q -batch -p " + std::to_string(child) +
                                " -ex bt 2>/dev/null | grep '^#' | head -20";
    if (FILE* gdb = popen(command.c_str(), "r")) {
        char line[512];
        while (std::fgets(line, sizeof line, gdb) != nullptr)
            where += std::string(" | ") + std::string(line, std::strcspn(line, "\n"));
        pclose(gdb);
    }
    return where;
}

// Runs the program once; sends sig after delay seconds unless sig is 0.
// Returns the raw wait status; a hang is described into hung.
int runOnce(const std::string& work, const Program& program, int sig, double delay,
            std::string& hung) {
    // The delay counts from the exec: a pipe closed on exec tells when the
    // program has replaced the copy of this one, so every signal hits the
    // program itself.
    int execed[2];
    if (pipe2(execed, O_CLOEXEC) != 0) return -1;
    pid_t child = fork();
    if (child == 0) {
        close(execed[0]);
        if (chdir(work.c_str()) != 0) _exit(126);
        const rlimit noCore{0, 0};
        setrlimit(RLIMIT_CORE, &noCore);
        int out = open("stdout", O_WRONLY | O_CREAT | O_TRUNC, 0600);
        int err = open("stderr", O_WRONLY | O_CREAT | O_TRUNC, 0600);
        dup2(out, 1);
        dup2(err, 2);
        std::vector<char*> argv;
        for (const std::string& a : program.argv) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        execv(argv[0], argv.data());
        _exit(127);
    }
    close(execed[1]);
    char none;
    while (read(execed[0], &none, 1) > 0) {
    }
    close(execed[0]);
    if (sig != 0) {
        timespec pause{static_cast<time_t>(delay), static_cast<long>((delay - static_cast<time_t>(delay)) * 1e9)};
        nanosleep(&pause, nullptr);
        kill(child, sig);
    }
    // A run that has not ended after 20 s hangs: it is killed, and -1 says so.
    int status = 0;
    for (int waited = 0; waitpid(child, &status, WNOHANG) == 0; ++waited) {
        if (waited == 20000) {
            hung = whereHung(child);
            kill(child, SIGKILL);
            waitpid(child, &status, 0);
            return -1;
        }
        timespec millisecond{0, 1000000};
        nanosleep(&millisecond, nullptr);
    }
    return status;
}

// Whether this 32-bit program runs under user-mode emulation (a kernel
// without 32-bit support, programs run through qemu by binfmt_misc), or
// this aarch64 program on another machine. The
// emulator itself can then hang when a signal lands inside its own work,
// which says nothing of the program.
bool emulated() {
#if defined(__aarch64__)
    return access("/proc/sys/fs/binfmt_misc/qemu-aarch64", F_OK) == 0;
#else
    return sizeof(void*) == 4 && access("/proc/sys/fs/binfmt_misc/qemu-i386", F_OK) == 0;
#endif
}

// Removes the temporary files the run left; true if there were any.
bool removeTemporaries(const std::string& work) {
    bool found = false;
    DIR* folder = opendir(work.c_str());
    while (dirent* entry = readdir(folder)) {
        const std::string name = entry->d_name;
        if (name.find(".qavcvt-") == std::string::npos && name.find(".qavprof-") == std::string::npos)
            continue;
        found = true;
        unlink((work + "/" + entry->d_name).c_str());
    }
    closedir(folder);
    return found;
}

const char* messageOf(int sig) {
    switch (sig) {
    case SIGINT: return "Program terminated\n";
    case SIGTERM: return "Terminated\n";
    case SIGHUP: return "Hangup\n";
    }
    return "";
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: signal_storm QAVPROF QAVCVT [RUNS]\n");
        return 2;
    }
    const int runs = argc > 3 ? std::atoi(argv[3]) : 300;
    char* prof = realpath(argv[1], nullptr);
    char* cvt = realpath(argv[2], nullptr);
    if (prof == nullptr || cvt == nullptr) {
        std::perror("signal_storm");
        return 2;
    }
    char pattern[] = "/tmp/qav-storm-XXXXXX";
    const std::string work = mkdtemp(pattern);

    std::mt19937 random(12345);
    std::string profile = "QAV profile\n";
    for (int i = 1; i <= 400; ++i)
        profile += "rule" + std::to_string(i) + " " + std::to_string(random() % 1000 + 1) +
                   " 1 2 3 " + std::to_string(random()) + " 5 6\n";
    spill(work + "/qav.rprofout", profile);
    std::string bytes(40000, '\0');
    for (char& byte : bytes) byte = static_cast<char>(random());
    spill(work + "/prog.CQav", bytes);
    // Large enough to be written in several pieces.
    bytes.resize(1000000);
    for (char& byte : bytes) byte = static_cast<char>(random());
    spill(work + "/large.CQav", bytes);

    const Program programs[] = {
        {"qavprof", {prof, "-space"},
         "QAV Profiler v6.0 (1.12.00): profile report of a QAV run\n", "", {SIGINT}},
        // The report into a file, replaced whole, and written in place.
        {"qavprof -o", {prof, "-q", "-html", "-o", "report.html"}, "", "report.html",
         {SIGINT, SIGTERM, SIGHUP, SIGKILL, SIGQUIT}},
        {"qavprof -o in place", {prof, "-q", "-html", "-o", "report.html"}, "", "report.html",
         {SIGINT, SIGTERM, SIGHUP, SIGKILL, SIGQUIT}, true, false, 1,
         "QAVPROF: Written in place and now incomplete: report.html\n", "qavprof stopped: "},
        // Every signal that ends a process and may be caught takes the
        // temporary file with it; SIGKILL alone may leave one.
        {"qavcvt", {cvt, "prog.CQav"}, "", "prog_QAV.c",
         {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGKILL, SIGABRT, SIGTRAP, SIGSYS, SIGIO, SIGPWR,
          SIGSTKFLT, SIGUSR1, SIGRTMIN + 2}},
        // Written in place, with and without -keep.
        {"qavcvt in place", {cvt, "-o", "prog_QAV.c", "large.CQav"}, "", "prog_QAV.c",
         {SIGINT, SIGTERM, SIGHUP, SIGKILL, SIGQUIT, SIGUSR1}, true, false, 3},
        {"qavcvt -keep in place", {cvt, "-keep", "-o", "prog_QAV.c", "large.CQav"}, "", "prog_QAV.c",
         {SIGTERM, SIGKILL, SIGALRM}, true, true, 3},
    };

    int passed = 0, failed = 0;
    for (const Program& program : programs) {
        // The whole run, start-up to exit, as the window to aim at.
        double start = now();
        std::string hung;
        for (int i = 0; i < 5; ++i) runOnce(work, program, 0, 0, hung);
        const double span = (now() - start) / 5;
        const std::string complete = program.output.empty() ? "" : slurp(work + "/" + program.output);
        const std::string old = program.sharesStart
                                    ? complete.substr(0, complete.size() / 3) + "old tail\n"
                                    : "old\n";
        const std::string second = work + "/" + program.output + ".link";
        if (program.inPlace) {
            spill(work + "/" + program.output, old);
            link((work + "/" + program.output).c_str(), second.c_str());
        }

        int signalled = 0;
        const int runsHere = runs / program.runsDivisor;
        for (int run = 0; run < runsHere; ++run) {
            const int sig = program.signals[run % program.signals.size()];
            const double delay = span * std::uniform_real_distribution<double>(0, 1)(random);
            // Written through the file, so that a second name stays.
            if (!program.output.empty()) spill(work + "/" + program.output, old);
            const int status = runOnce(work, program, sig, delay, hung);
            std::string err = slurp(work + "/stderr");
            const std::string output =
                program.output.empty() ? "" : slurp(work + "/" + program.output);
            const bool outputWhole = program.output.empty() || output == old || output == complete;
            std::string problem;
            if (!outputWhole) {
                problem = cutProblem(work, program, output, err, sig);
                const std::size_t at = err.find(program.incomplete);
                if (at != std::string::npos) err.erase(at, program.incomplete.size());
            } else if (err.find(program.incomplete) != std::string::npos) {
                problem = "a whole output said to be incomplete";
            }
            // An emulator says so when a signal ends its program, after
            // what the program said.
            const std::size_t said = err.find("qemu: ");
            if (emulated() && said != std::string::npos && (said == 0 || err[said - 1] == '\n'))
                err.erase(said);
            if (removeTemporaries(work) && sig != SIGKILL) problem = "a temporary file was left";
            if (program.inPlace && slurp(second) != output) problem = "the second name lost";
            if (status == -1 && emulated()) {
                std::printf("skipped: the emulator hung (signal %d after %.0f us)\n", sig,
                            delay * 1e6);
                continue;
            }
            if (!problem.empty()) {
            } else if (status == -1) {
                problem = "hung: " + hung;
            } else if (WIFSIGNALED(status) && WTERMSIG(status) == sig && err.empty()) {
                ++signalled;  // the signal's default action
            } else if (!WIFEXITED(status)) {
                problem = "ended by signal " + std::to_string(WTERMSIG(status));
            } else if (WEXITSTATUS(status) == 0) {
                if (err != program.quietErr) problem = "exit 0 with messages: " + err;
                else if (!program.output.empty() && output != complete)
                    problem = "exit 0 without the whole output";
            } else if (WEXITSTATUS(status) == sig) {
                ++signalled;
                // The signal may cut a message short, but its own message
                // must be there, with nothing but the run's own before or
                // after it (a newline stdio held back comes out at exit).
                const std::string message = messageOf(sig);
                const std::size_t at = err.rfind(message);
                const std::string rest = at == std::string::npos
                                             ? err
                                             : err.substr(0, at) + err.substr(at + message.size());
                if (at == std::string::npos || program.quietErr.compare(0, rest.size(), rest) != 0)
                    problem = "messages: " + err;
            } else {
                problem = "exit status " + std::to_string(WEXITSTATUS(status)) + ": " + err;
            }
            for (std::size_t at; (at = problem.find('\n')) != std::string::npos;)
                problem.replace(at, 1, "\\n");
            if (problem.empty()) {
                ++passed;
            } else {
                ++failed;
                std::printf("FAIL %s, signal %d after %.0f us: %s\n", program.name, sig,
                            delay * 1e6, problem.c_str());
            }
        }
        std::printf("%s: %d runs, %d ended by the signal, window %.0f us\n", program.name,
                    runsHere, signalled, span * 1e6);
    }
    std::string command = "rm -rf '" + work + "'";
    if (std::system(command.c_str()) != 0) std::perror("rm");
    std::printf("%d passed, %d failed\n", passed, failed);
    return failed == 0 ? 0 : 1;
}
