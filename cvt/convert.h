// The text of the generated C file, collected in a large buffer and written
// to a file descriptor with plain write calls: the head and tail lines as
// given, and the data lines, every input byte as a decimal value and a
// comma, with a line break before every 20th value.
#pragma once

#include <cstddef>
#include <cstdint>

// An input may hold at most this many bytes.
constexpr std::uint32_t maxConvertedBytes = 999999999;
// A line break comes before every value whose 1-based number is a multiple.
constexpr std::uint32_t valuesPerLine = 20;
// The input is read this many bytes at a time (whole lines).
constexpr std::size_t convertBlockBytes = 13120 * valuesPerLine;
// The widest vectors, in bits, that large inputs may be converted with
// where the processor has them (512, 256 or 0); the tests lower it to
// check the other ways.
extern unsigned vectorBitsAllowed;
// The bytes read at a time after the first line: convertBlockBytes, or for
// the fuzz target a smaller multiple of 3200, so that small inputs reach
// every way of making lines. An input that fills the first block is large.
extern std::size_t blockBytes;

enum class ConvertResult { done, readFailed, writeFailed, tooLarge };

// How the text of an output meets what fd holds.
enum class OutputStart {
    stream,       // written from where fd stands
    newFile,      // a regular file opened empty for it: its space may be reserved ahead
    inPlace,      // an existing file, emptied by the first write
    keepInPlace,  // an existing file, written from the first byte that differs from
                  // what it holds, and cut to the text's length at the end: a file
                  // that holds the text already is not written at all
};
// Starts the text of one output, to be written to fd.
void beginOutput(int fd, OutputStart start = OutputStart::stream);
// Adds text; it goes out with the data or at the end.
void putOutput(const char* text);
// Adds the data lines for the bytes read from in until end of file. An
// input of more than limit bytes is tooLarge.
ConvertResult convertBytes(int in, std::uint32_t limit = maxConvertedBytes);
// The same bytes as the lines of a string literal instead, from the quote
// that opens the first line to the quote and ";" that close the last:
// each byte as itself or its shortest escape, lines within 80 columns.
ConvertResult convertBytesAsString(int in, std::uint32_t limit = maxConvertedBytes);
// The number of bytes the last conversion converted.
std::uint32_t convertedLength();
// Whether the output's file has changed: written, emptied or cut.
bool outputChanged();
// Writes what is left; writeFailed if any write of this output failed.
ConvertResult endOutput();
