// qavcvt: turns compiled QAV programs (byte code) into C source files that
// hold the same bytes as arrays of unsigned char.
//
//   qavcvt [-e] [-n NAME] [-const] [-len] [-o FILE] [--] file.CQav...
//
// Each output is named from its input, beside it: the directory part, the
// last component up to its first ".", and "_QAV.c" ("v1.2/app.CQav" gives
// "v1.2/app_QAV.c"). The arrays are QAV_QAV and QAV_CQAV; with -e they are
// named from that base, made a C identifier ("my-prog" gives my_prog_QAV).
#include "convert.h"
#include "replace.h"
#include "runtime.h"

#include <csetjmp>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr char usage[] = "Usage: qavcvt [-e] file.CQav";
constexpr char help[] =
    "Usage: qavcvt [options] file.CQav...\n"
    "Writes each compiled QAV program as C source: dir/prog.CQav gives dir/prog_QAV.c,\n"
    "holding the array QAV_QAV of the program's bytes and a 0, and the pointer QAV_CQAV.\n"
    "\n"
    "  -e         name the array and pointer from the file: prog_QAV, prog_CQAV\n"
    "  -n NAME    name them NAME_QAV, NAME_CQAV (NAME a C identifier)\n"
    "  -const     declare both const\n"
    "  -len       add NAME_LEN, the number of the program's bytes\n"
    "  -o FILE    write to FILE (- for standard output); one input only\n"
    "  -          as input: standard input, written to standard output\n"
    "  --         end of options\n"
    "  -h, --help, --version\n"
    "\n"
    "Exit status: 0 when every file was converted, 1 otherwise.\n";
constexpr char version[] = "qavcvt (QAV tools) 6.0\n";
constexpr char outputSuffix[] = "_QAV.c";
constexpr char standardStream[] = "-";
constexpr char tooLarge[] = "Larger than 999999999 bytes: ";

// Options, the same for every file.
bool useBaseName;
bool constArrays;
bool withLength;
const char* givenName;    // -n, or null
const char* givenOutput;  // -o, or null

// The file being converted. The names are allocated for each file, as long
// as they need to be.
const char* inputName;
char* outputName;
char* prefix;
std::int32_t inStream;
OutputFile output;  // fd -1 while there is none, or on standard output

void say(const char* message, const char* name = "") {
    TL_putLine(0, {"qavcvt: ", message, name});
}

[[noreturn]] void fail(const char* message, const char* name = "") {
    say(message, name);
    TL_quit(1);
}

char* allocate(std::size_t size) {
    char* block = static_cast<char*>(std::malloc(size));
    if (block == nullptr) fail("Out of memory");
    return block;
}

void putStandardText(const char* text) {
    std::fwrite(text, 1, std::strlen(text), stdout);
    if (std::fflush(stdout) != 0) TL_quit(1);
}

bool isIdentifierChar(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || TL_isDigit(c) || c == '_';
}

bool isIdentifier(const char* text) {
    if (*text == '\0' || TL_isDigit(*text)) return false;
    for (; *text != '\0'; ++text)
        if (!isIdentifierChar(*text)) return false;
    return true;
}

// Takes the options; returns the number of the first file argument.
std::int32_t takeOptions() {
    std::int32_t n = 1;
    for (; n <= TL_TLI_TLIARC; ++n) {
        const char* argument = TL_TLI_TLIARV[n];
        if (argument[0] != '-' || std::strcmp(argument, standardStream) == 0) break;
        if (std::strcmp(argument, "--") == 0) return n + 1;
        if (std::strcmp(argument, "-e") == 0) {
            useBaseName = true;
        } else if (std::strcmp(argument, "-const") == 0) {
            constArrays = true;
        } else if (std::strcmp(argument, "-len") == 0) {
            withLength = true;
        } else if (std::strcmp(argument, "-n") == 0 || std::strcmp(argument, "-o") == 0) {
            if (n == TL_TLI_TLIARC) fail("Option needs a value: ", argument);
            const char* value = TL_TLI_TLIARV[++n];
            if (argument[1] == 'o') {
                givenOutput = value;
            } else {
                if (!isIdentifier(value)) fail("Not a C identifier: ", value);
                givenName = value;
            }
        } else if (std::strcmp(argument, "-h") == 0 || std::strcmp(argument, "--help") == 0) {
            putStandardText(help);
            TL_quit(0);
        } else if (std::strcmp(argument, "--version") == 0) {
            putStandardText(version);
            TL_quit(0);
        } else {
            fail("Unknown option ", argument);
        }
    }
    return n;
}

// The output name and the array prefix for inputName.
void nameOutput() {
    const char* slash = std::strrchr(inputName, '/');
    const char* component = slash == nullptr ? inputName : slash + 1;
    const char* dot = std::strchr(component, '.');
    // A component without a "." has an empty base, as a name without one
    // always had.
    const std::size_t baseLength = dot == nullptr ? 0 : static_cast<std::size_t>(dot - component);
    const std::size_t directoryLength = static_cast<std::size_t>(component - inputName);

    outputName = allocate(directoryLength + baseLength + sizeof outputSuffix);
    std::memcpy(outputName, inputName, directoryLength + baseLength);
    std::strcpy(outputName + directoryLength + baseLength, outputSuffix);

    // Room for the base, a "_" before a leading digit, the "_" after, and
    // the zero byte, or for the given name and its "_".
    prefix = allocate((givenName != nullptr ? std::strlen(givenName) : baseLength) + 3);
    if (givenName != nullptr) {
        std::strcpy(prefix, givenName);
        std::strcat(prefix, "_");
    } else if (!useBaseName || std::strcmp(inputName, standardStream) == 0) {
        std::strcpy(prefix, "QAV_");
    } else {
        // The base made a C identifier: other characters become "_", and a
        // leading digit gets one in front.
        char* p = prefix;
        if (baseLength > 0 && TL_isDigit(component[0])) *p++ = '_';
        for (std::size_t i = 0; i < baseLength; ++i)
            *p++ = isIdentifierChar(component[i]) ? component[i] : '_';
        *p++ = '_';
        *p = '\0';
    }
}

void releaseNames() {
    std::free(outputName);
    std::free(prefix);
    outputName = prefix = nullptr;
}

void putHead() {
    putOutput("/* QAV virtual machine byte code */\n\n");
    putOutput(constArrays ? "const unsigned char " : "unsigned char ");
    putOutput(prefix);
    putOutput("QAV [] = {\n");
}

void putTail(std::uint32_t length) {
    putOutput("0};\n\n");
    putOutput(constArrays ? "const unsigned char *" : "unsigned char *");
    const char* const pointer[] = {prefix, "CQAV = ", prefix, "QAV;\n"};
    for (const char* piece : pointer) putOutput(piece);
    if (!withLength) return;
    char digits[24];
    char* end = TL_formatNat(digits, length, 0);
    *end = '\0';
    putOutput(constArrays ? "const unsigned long " : "unsigned long ");
    const char* const line[] = {prefix, "LEN = ", digits, ";\n"};
    for (const char* piece : line) putOutput(piece);
}

void closeStreams() {
    if (inStream > 0) TL_close(inStream);
    inStream = 0;
}

// Opens the input, or standard input for "-".
int openInput() {
    if (std::strcmp(inputName, standardStream) == 0) return STDIN_FILENO;
    TL_open(TL_modeBinaryIn, inputName, inStream);
    return inStream == 0 ? -1 : fileno(TL_handle(inStream));
}

// Converts inputName into its output; says why and returns false when it
// cannot, leaving whatever the output's name held before.
bool convertFile() {
    nameOutput();
    const bool toStandardOutput =
        givenOutput != nullptr ? std::strcmp(givenOutput, standardStream) == 0
                               : std::strcmp(inputName, standardStream) == 0;
    const char* const shownOutput = givenOutput != nullptr && !toStandardOutput ? givenOutput
                                                                               : outputName;

    const int in = openInput();
    if (in < 0) {
        say("Unable to open ", inputName);
        return false;
    }
    // What can be known of the input is checked before the output is
    // created.
    struct stat input;
    if (fstat(in, &input) != 0 || S_ISDIR(input.st_mode)) {
        say("Unable to read ", inputName);
        return false;
    }
    if (S_ISREG(input.st_mode) && input.st_size > static_cast<off_t>(maxConvertedBytes)) {
        say(tooLarge, inputName);
        return false;
    }
    int out = STDOUT_FILENO;
    if (!toStandardOutput) {
        switch (openOutputFile(shownOutput, input, output)) {
        case OutputOpened::ok: break;
        case OutputOpened::sameAsInput:
            say("Output would overwrite the input: ", shownOutput);
            return false;
        case OutputOpened::cannotCreate: say("Unable to create ", shownOutput); return false;
        }
        out = output.fd;
    }

    // A temporary file is new and empty: its space may be reserved ahead.
    beginOutput(out, output.temporaryPath != nullptr);
    putHead();
    ConvertResult result = convertBytes(in);
    if (result == ConvertResult::done) {
        putTail(convertedLength());
        result = endOutput();
    }

    switch (result) {
    case ConvertResult::done:
        if (toStandardOutput || commitOutputFile(output, false)) return true;
        say("Unable to create ", shownOutput);
        return false;
    case ConvertResult::readFailed: say("Unable to read ", inputName); break;
    case ConvertResult::writeFailed:
        say("Unable to write ", toStandardOutput ? "standard output" : shownOutput);
        break;
    case ConvertResult::tooLarge: say(tooLarge, inputName); break;
    }
    abandonOutputFile(output);
    return false;
}

// convertFile inside a handler area of its own: a signal (or a quit) while
// a file is being converted removes its temporary file on the way out.
bool convertOne() {
    HandlerArea area;
    area.next = TL_handlerArea;
    TL_handlerArea = &area;
    if (_setjmp(area.env) != 0) {
        // Signals are held from here on; the quit goes on to main.
        abandonOutputFile(output);
        TL_quit(area.quitCode);
    }
    output = OutputFile{-1, nullptr, nullptr, false};
    const bool done = convertFile();
    TL_handlerArea = area.next;
    releaseOutputFile(output);
    releaseNames();
    return done;
}

}  // namespace

// An interrupted conversion must not leave a file that passes for a result.
const bool TL_catchesTermination = true;

void TProg() {
    // A file over the size limit is a write error, not a silent death.
    std::signal(SIGXFSZ, SIG_IGN);
    removeTemporariesOnFatalSignals();
    const std::int32_t first = takeOptions();
    if (first > TL_TLI_TLIARC || TL_TLI_TLIARV[first][0] == '\0') fail(usage);
    if (givenOutput != nullptr && first < TL_TLI_TLIARC)
        fail("-o takes a single input file");
    // Files are opened one at a time and closed after, so every stream is
    // free for them, whatever the command line recorded.
    TL_nextfile = 1;

    bool allDone = true;
    for (std::int32_t n = first; n <= TL_TLI_TLIARC; ++n) {
        inputName = TL_TLI_TLIARV[n];
        if (inputName[0] == '\0') {
            say(usage);
            allDone = false;
            continue;
        }
        if (!convertOne()) allDone = false;
        closeStreams();
    }
    if (!allDone) TL_quit(1);
}
