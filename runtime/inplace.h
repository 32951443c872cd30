// An existing file written in place cannot be swapped for its new text in
// one step, so while it is written it carries a mark that no compiler
// takes: the text's first line is held back and a line of the same length
// that stops any compilation stands in its place. The held-back line goes
// in last, once every output of the file is complete. Whatever stops the
// writing between (a signal, SIGKILL too, a full disk, a power cut), the
// file holds its old text whole or the mark, and then, cut where the
// writing stopped, the new text: never the old text's tail behind the new.
#pragma once

#include <csignal>
#include <cstddef>
#include <cstdint>

constexpr char unfinishedLine[] = "#error \"qavcvt stopped: incomplete\"\n";
constexpr std::size_t markLength = sizeof unfinishedLine - 1;

// What an output written in place still needs to be finished.
struct InPlaceMark {
    // Set before the first call that changes the file and cleared when it
    // is finished: a failure or a signal in between has left it incomplete.
    // A signal handler reads it.
    volatile std::sig_atomic_t unfinished;
    bool marked;            // the mark stands at its start; head goes back in
    bool cut;               // the old text was longer: cut to length
    std::uint64_t length;   // the new text's
    char head[markLength];  // the new text's first line
};

// Makes an output written in place its complete new text: cuts it to
// length where the old one was longer, then puts the first line back.
// False when a call failed (the file then still carries the mark).
bool finishInPlace(int fd, InPlaceMark& mark);
