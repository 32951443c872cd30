// qavcvt: turns a compiled QAV program (byte code) into a C source file that
// holds the same bytes as an array of unsigned char.
//
//   qavcvt [-e] file.CQav
//
// The output is named from the input's base name (the text before its first
// "."): "dir/demo.CQav" gives "dir/demo_QAV.c". With -e the array is named
// from the base name too, else it is QAV_QAV.
#include "convert.h"
#include "runtime.h"

#include <csignal>
#include <cstdio>
#include <cstring>
#include <sys/stat.h>

namespace {

constexpr char outputSuffix[] = "QAV.c";

bool useBaseName;
std::int32_t fileArg;
TL_string inputName;
TL_string prefix;
TL_string outputName;
std::int32_t inStream;
std::int32_t outStream;

// "qavcvt: " + message + name on standard error, and quit with 1.
[[noreturn]] void fail(const char* message, const char* name = "") {
    TL_putLine(0, {"qavcvt: ", message, name});
    TL_quit(1);
}

// Unless condition holds: the message, and quit with 1.
void checkOrQuit(bool condition, const char* message, const char* name = "") {
    if (!condition) fail(message, name);
}

// Ends a failed conversion: the output written so far is incomplete, so a
// regular file of it is removed rather than left to pass for a result.
[[noreturn]] void failAfterOutput(const char* message, const char* name) {
    TL_close(outStream);
    struct stat status;
    if (stat(outputName, &status) == 0 && S_ISREG(status.st_mode))
        std::remove(outputName);
    fail(message, name);
}

}  // namespace

// An interrupted conversion must not leave a file that passes for a result.
const bool TL_catchesTermination = true;

void TProg() {
    useBaseName = false;
    fileArg = 1;
    TL_string argument;
    TL_fetchArg(1, argument);
    if (std::strcmp(argument, "-e") == 0) {
        useBaseName = true;
        fileArg = 2;
    }
    TL_fetchArg(fileArg, inputName);
    checkOrQuit(inputName[0] != '\0', "Usage: qavcvt [-e] file.CQav");

    // Names are refused rather than cut, since a cut name is another file.
    const std::size_t inputLength = std::strlen(TL_TLI_TLIARV[fileArg]);
    TL_string baseName;
    TL_substring(baseName, TL_index(inputName, ".") - 1, 1, inputName);
    const std::size_t outputLength =
        std::strlen(baseName) + 1 + std::strlen(outputSuffix);
    checkOrQuit(inputLength <= TL_maxStringLength &&
                    outputLength <= TL_maxStringLength,
                "File name too long");

    std::strcpy(prefix, baseName);
    std::strcat(prefix, "_");
    std::strcpy(outputName, prefix);
    std::strcat(outputName, outputSuffix);
    if (!useBaseName) std::strcpy(prefix, "QAV_");

    inStream = 0;
    outStream = 0;
    // A file over the size limit makes a write error of the size limit.
    std::signal(SIGXFSZ, SIG_IGN);
    TL_open(TL_modeBinaryIn, inputName, inStream);
    checkOrQuit(inStream != 0, "Unable to open ", inputName);
    TL_open(TL_modeTextOut, outputName, outStream);
    checkOrQuit(outStream != 0, "Unable to create ", outputName);

    beginOutput(fileno(TL_handle(outStream)));
    putOutput("/* QAV virtual machine byte code */\n\nunsigned char ");
    putOutput(prefix);
    putOutput("QAV [] = {\n");
    ConvertResult result = convertBytes(fileno(TL_handle(inStream)));
    if (result == ConvertResult::done) {
        putOutput("0};\n\nunsigned char *");
        const char* const tail[] = {prefix, "CQAV = ", prefix, "QAV;\n"};
        for (const char* piece : tail) putOutput(piece);
        result = endOutput();
    }
    switch (result) {
    case ConvertResult::done: break;
    case ConvertResult::readFailed: failAfterOutput("Unable to read ", inputName);
    case ConvertResult::writeFailed: failAfterOutput("Unable to write ", outputName);
    case ConvertResult::tooLarge:
        failAfterOutput("Larger than 999999999 bytes: ", inputName);
    }
}
