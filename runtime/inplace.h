// An existing file written in place cannot be swapped for its new text in
// one step, so while it is written it carries a mark, a line of its
// writer's that says the file is unfinished and that nothing reading the
// file takes for its text (qavcvt's stops any compilation): the text's
// first line is held back and the mark stands in its place. The held-back
// line goes in last, once every output of the file is complete. Whatever
// stops the writing between (a signal, SIGKILL too, a full disk, a power
// cut), the file holds its old text whole or the mark, and then, cut
// where the writing stopped, the new text: never the old text's tail
// behind the new.
#pragma once

#include <csignal>
#include <cstddef>
#include <cstdint>

// The length of every writer's mark, line break included.
constexpr std::size_t markLength = 36;

// What an output written in place still needs to be finished.
struct InPlaceMark {
    // Set before the first call that changes the file and cleared when it
    // is finished: a failure or a signal in between has left it incomplete.
    // A signal handler reads it.
    volatile std::sig_atomic_t unfinished;
    bool marked;            // the mark stands at its start; head goes back in
    bool cut;               // the old text was longer: cut to length
    std::uint64_t length;   // the new text's
    const char* line;       // the mark: markLength bytes, ending in a line break
    char head[markLength];  // the new text's first line
};

// How the text of an output meets what its file descriptor holds.
enum class OutputStart {
    stream,       // written from where fd stands
    newFile,      // a regular file opened empty for it
    inPlace,      // an existing file, marked and cut by the first write
    keepInPlace,  // an existing file, changed from the first byte that differs from
                  // what it holds, and cut to the text's length: a file that holds
                  // the text already is not written at all
};

// The text of one output on its way to fd, written with plain write calls.
struct OutputWriter {
    int fd;
    bool failed;            // a write failed; nothing more is written
    std::uint64_t written;  // the text's bytes the file holds, from its start
    bool inPlace;           // an existing file, changed where it is
    bool comparing;         // the text so far is what the file holds
    bool started;           // the file has been marked, or cut, for the new text
    bool restorable;        // ... and nothing but its first line has changed yet
    InPlaceMark* mark;
    // What the mark overwrote: the old file's first bytes and its length,
    // which put back make it whole again while it is restorable.
    std::uint64_t oldLength;
    char oldHead[markLength];
};

// Starts the text of an output to be written to fd; an output in place
// carries markLine while it is unfinished.
void beginText(OutputWriter& w, int fd, OutputStart start, InPlaceMark& mark, const char* markLine);
// Writes the length bytes at text, the output's from w.written on. The
// first write that changes an output in place must hold its first
// markLength bytes where the text has that many: a shorter one cuts the
// file but leaves it unmarked.
void writeText(OutputWriter& w, const char* text, std::size_t length);
// Ends the text: an output in place learns whether its file held more, to
// be cut by finishInPlace. False when a write failed.
bool endText(OutputWriter& w);
// Makes an output written in place its complete new text: cuts it to
// length where the old one was longer, then puts the first line back.
// False when a call failed (the file then still carries the mark).
bool finishInPlace(int fd, InPlaceMark& mark);
