/* Times whole commands side by side: each round runs every command once,
   in turn (A B C A B C ...), so that load from other work falls on all of
   them alike. Prints, for each command, the median wall time, the peak
   resident size, and the median over rounds of the first command's time
   divided by this one's (the paired ratio).

     timeit ROUNDS -- [@out=FILE] [@rm=FILE] [@name=LABEL] COMMAND ARGS... -- ...

   @out=FILE sends the command's standard output to FILE (created anew);
   @rm=FILE removes FILE before each run, outside the timing; @name=LABEL
   names the command in the report (its program's name otherwise). */
#define _GNU_SOURCE
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

enum { maxCommands = 8, maxRounds = 1000 };

struct command {
    char **argv;
    const char *out, *rm, *name;
    double times[maxRounds];
    long peakKib;
};

static double now(void) {
    struct timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return t.tv_sec + t.tv_nsec * 1e-9;
}

static int compare(const void *a, const void *b) {
    double x = *(const double *)a, y = *(const double *)b;
    return x < y ? -1 : x > y;
}

static double median(double *values, int count) {
    qsort(values, count, sizeof *values, compare);
    return count % 2 ? values[count / 2] : (values[count / 2 - 1] + values[count / 2]) / 2;
}

static double runOnce(struct command *c) {
    if (c->rm) unlink(c->rm);
    double start = now();
    pid_t child = fork();
    if (child == 0) {
        int out = open(c->out ? c->out : "/dev/null", O_WRONLY | O_CREAT | O_TRUNC, 0644);
        int null = open("/dev/null", O_WRONLY);
        dup2(out, 1);
        dup2(null, 2);
        execvp(c->argv[0], c->argv);
        _exit(127);
    }
    int status;
    struct rusage usage;
    wait4(child, &status, 0, &usage);
    double time = now() - start;
    if (!WIFEXITED(status) || WEXITSTATUS(status) == 127) {
        fprintf(stderr, "timeit: %s failed\n", c->argv[0]);
        exit(1);
    }
    if (usage.ru_maxrss > c->peakKib) c->peakKib = usage.ru_maxrss;
    return time;
}

int main(int argc, char **argv) {
    struct command commands[maxCommands];
    int count = 0, rounds = argc > 1 ? atoi(argv[1]) : 0;
    if (rounds < 1 || rounds > maxRounds || argc < 4 || strcmp(argv[2], "--") != 0) {
        fprintf(stderr, "usage: timeit ROUNDS -- [@out=F] [@rm=F] CMD ARGS... -- ...\n");
        return 2;
    }
    for (int i = 3; i < argc && count < maxCommands; ++i) {
        struct command *c = &commands[count++];
        memset(c, 0, sizeof *c);
        for (; i < argc && argv[i][0] == '@'; ++i) {
            if (strncmp(argv[i], "@out=", 5) == 0) c->out = argv[i] + 5;
            if (strncmp(argv[i], "@rm=", 4) == 0) c->rm = argv[i] + 4;
            if (strncmp(argv[i], "@name=", 6) == 0) c->name = argv[i] + 6;
        }
        c->argv = argv + i;
        while (i < argc && strcmp(argv[i], "--") != 0) ++i;
        argv[i < argc ? i : argc] = NULL;
    }
    for (int k = 0; k < count; ++k) runOnce(&commands[k]); /* warm the caches */
    for (int r = 0; r < rounds; ++r)
        for (int k = 0; k < count; ++k) commands[k].times[r] = runOnce(&commands[k]);
    for (int k = 0; k < count; ++k) {
        double ratios[maxRounds], times[maxRounds];
        for (int r = 0; r < rounds; ++r) {
            ratios[r] = commands[0].times[r] / commands[k].times[r];
            times[r] = commands[k].times[r];
        }
        printf("%-10s %9.3f ms %8ld KiB  first/this %6.2f\n",
               commands[k].name ? commands[k].name : commands[k].argv[0],
               median(times, rounds) * 1e3, commands[k].peakKib, median(ratios, rounds));
    }
    return 0;
}
