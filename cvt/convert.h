// The text of the generated C file, collected in a large buffer and written
// to a file descriptor with plain write calls: the head and tail lines as
// given, and the data lines, every input byte as a decimal value and a
// comma, with a line break before every 20th value.
#pragma once

#include "inplace.h"
#include "lines.h"

#include <cstddef>
#include <cstdint>

// An input may hold at most this many bytes.
constexpr std::uint32_t maxConvertedBytes = 999999999;
// The input is read this many bytes at a time (whole lines).
constexpr std::size_t convertBlockBytes = 13120 * valuesPerLine;

// A block is converted a step at a time, whole lines, so that its text can
// go out in exact pieces with little left over to move.
constexpr std::size_t stepValues = 3200;
static_assert(convertBlockBytes % stepValues == 0 && stepValues % valuesPerLine == 0,
              "a block is whole steps, a step whole lines");
static_assert(stepValues % vectorRoundValues == 0, "a step is whole rounds");
// At most four characters a value, a line break a line, and slack for the
// last 64-byte store.
constexpr std::size_t stepText = stepValues * 4 + stepValues / valuesPerLine + 64;
// Room for the head and tail lines.
constexpr std::size_t textRoom = 4096;
// The text goes out in whole pieces of this size, the rest staying for the
// next write, so that every write but the last starts and ends on a 1 MiB
// boundary of the output. The kernel then fills whole pages, and large
// ones: writes of about the same size that end inside a page cost about a
// fifth more, and ones that end on a 64 KiB boundary a tenth.
constexpr std::size_t writePiece = 1024 * 1024;

// The mark of a C file written in place while it is unfinished: a line
// that stops any compilation.
constexpr char unfinishedLine[] = "#error \"qavcvt stopped: incomplete\"\n";
static_assert(sizeof unfinishedLine - 1 == markLength, "the mark is a whole line of its length");

// The output being written, and its space reserved ahead of the writes.
struct ConversionOutput {
    OutputWriter writer;
    std::size_t used;  // of the buffer, not yet written
    bool reserving;
    std::uint64_t reserved;
};

// A conversion's state and buffers, about 1.3 MB: the caller allocates one
// and passes it to each call. The first two fields may be set before a
// conversion; the rest are its own.
struct Conversion {
    // The widest vectors, in bits, that large inputs may be converted with
    // where the processor has them (512, 256 or 0); the tests lower it to
    // check the other ways.
    unsigned vectorBitsAllowed = 512;
    // The bytes read at a time after the first line: convertBlockBytes, or
    // for the fuzz target a smaller multiple of 3200, so that small inputs
    // reach every way of making lines. An input that fills the first block
    // is large.
    std::size_t blockBytes = convertBlockBytes;

    ConversionOutput output{};
    InPlaceMark ownMark{};  // for an output in place that the end finishes
    VectorWay vectorWay = 0;  // value by value (0) until the input proves large
    std::uint32_t lastLength = 0;
    unsigned char inBuffer[convertBlockBytes];
    char outBuffer[writePiece + textRoom + stepText];
};

enum class ConvertResult { done, readFailed, writeFailed, tooLarge };

// Starts the text of one output, to be written to fd. An output in place
// is finished by endOutput, or, given a mark, left for finishInPlace once
// the other outputs of the file are complete too.
void beginOutput(Conversion& c, int fd, OutputStart start = OutputStart::stream,
                 InPlaceMark* mark = nullptr);
// Adds text; it goes out with the data or at the end.
void putOutput(Conversion& c, const char* text);
// Adds the data lines for the bytes read from in until end of file. An
// input of more than limit bytes is tooLarge.
ConvertResult convertBytes(Conversion& c, int in, std::uint32_t limit = maxConvertedBytes);
// The same bytes as the lines of a string literal instead, from the quote
// that opens the first line to the quote and ";" that close the last:
// each byte as itself or its shortest escape, lines within 80 columns.
ConvertResult convertBytesAsString(Conversion& c, int in,
                                   std::uint32_t limit = maxConvertedBytes);
// The number of bytes the last conversion converted.
std::uint32_t convertedLength(const Conversion& c);
// Writes what is left; writeFailed if any write of this output failed.
ConvertResult endOutput(Conversion& c);
