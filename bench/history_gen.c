/* Writes a history for the bench: POINTS folders p0001... of RUNS profile
 * files of RULES rules each, values of sizes 10^2 to 10^6 with noise of
 * +-5% a run, ten rules 15% slower from the middle on.
 * Usage: history_gen POINTS RUNS RULES FOLDER */
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/stat.h>

static uint64_t state = 88172645463325252u;

static double uniform(void) {
    state ^= state << 13;
    state ^= state >> 7;
    state ^= state << 17;
    return (double)(state >> 11) / 9007199254740992.0;
}

int main(int argc, char** argv) {
    if (argc != 5) {
        fprintf(stderr, "usage: history_gen POINTS RUNS RULES FOLDER\n");
        return 2;
    }
    const int points = atoi(argv[1]), runs = atoi(argv[2]), rules = atoi(argv[3]);
    double* size = malloc(sizeof(double) * (size_t)rules);
    if (size == NULL) return 1;
    for (int g = 0; g < rules; ++g) size[g] = 100.0;
    for (int g = 0; g < rules; ++g) {
        size[g] = 100 * (1 + 9999 * uniform() * uniform());
    }
    mkdir(argv[4], 0755);
    char path[4096];
    for (int t = 0; t < points; ++t) {
        snprintf(path, sizeof path, "%s/p%05d", argv[4], t + 1);
        mkdir(path, 0755);
        for (int r = 0; r < runs; ++r) {
            snprintf(path, sizeof path, "%s/p%05d/run%d.prof", argv[4], t + 1, r + 1);
            FILE* out = fopen(path, "w");
            if (out == NULL) return 1;
            fputs("QAV match profile: name calls matched searches matches time nodes cells\n", out);
            for (int g = 0; g < rules; ++g) {
                const double step = g < 10 && t >= points / 2 ? 1.15 : 1;
                const unsigned long time = (unsigned long)(size[g] * step * (0.95 + 0.1 * uniform()));
                fprintf(out, "rule_%d %d %d %d %d %lu %d %d\n", g, g + 1, g, 2 * g, g, time, g % 7, g % 5);
            }
            if (fclose(out) != 0) return 1;
        }
    }
    free(size);
    return 0;
}
