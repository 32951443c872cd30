// qavcvt: turns compiled QAV programs (byte code) into C source files that
// hold the same bytes as arrays of unsigned char.
//
//   qavcvt [-e] [-n NAME] [-const] [-len] [-string] [-header] [-align N]
//          [-keep] [-o FILE] [--] file.CQav...
//
// Each output is named from its input, beside it: the directory part, the
// last component up to its first ".", and "_QAV.c" ("v1.2/app.CQav" gives
// "v1.2/app_QAV.c"). The arrays are QAV_QAV and QAV_CQAV; with -e they are
// named from that base, made a C identifier ("my-prog" gives my_prog_QAV).
#include "convert.h"
#include "replace.h"
#include "runtime.h"
#include "tool.h"

#include <cerrno>
#include <csetjmp>
#include <csignal>
#include <new>
#include <cstdlib>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr char usage[] = "Usage: qavcvt [options] file.CQav... (qavcvt --help lists the options)";
constexpr char help[] =
    "Usage: qavcvt [options] file.CQav...\n"
    "Writes each compiled QAV program as C source: dir/prog.CQav gives dir/prog_QAV.c,\n"
    "holding the array QAV_QAV of the program's bytes and a 0, and the pointer QAV_CQAV.\n"
    "Options may come before and after the files.\n"
    "\n"
    "  -e         name the array and pointer from the file: prog_QAV, prog_CQAV\n"
    "  -n NAME    name them NAME_QAV, NAME_CQAV (NAME a C identifier)\n"
    "  -const     declare both const\n"
    "  -len       add NAME_LEN, the number of the program's bytes\n"
    "  -string    write the bytes as a string literal, which compilers take far faster\n"
    "  -incbin    have the assembler read the bytes from the input file (gcc or clang,\n"
    "             ELF): the C file names the input, and changes only when its path does\n"
    "  -header    also write a header declaring the names (prog_QAV.h, or out.h for out.c)\n"
    "  -align N   start the array at a multiple of N (a power of two, 1 to 4096)\n"
    "  -keep      leave an output that would get the text it holds untouched\n"
    "  -o FILE    write to FILE (- for standard output); one input only\n"
    "  -          as input: standard input, written to standard output\n"
    "  --         end of options: a file whose name starts with - needs it, or ./\n"
    "  -h, --help, --version\n"
    "\n"
    "Exit status: 0 when every file was converted, 1 otherwise.\n";
constexpr char version[] = "qavcvt (QAV tools) 6.0\n";
constexpr char outputSuffix[] = "_QAV.c";
constexpr char standardStream[] = "-";
constexpr char tooLarge[] = "Larger than 999999999 bytes: ";

// How the bytes are written: a list of numbers, a string literal, or the
// assembler's .incbin of the input file.
enum class Form { array, string, incbin };

// What the command line asks for, the same for every file.
struct Options {
    bool useBaseName = false;
    bool constArrays = false;
    bool withLength = false;
    Form form = Form::array;  // -string or -incbin, given once
    const char* formFlag = nullptr;     // which of them, or null
    bool withHeader = false;
    bool keepUnchanged = false;
    const char* alignment = nullptr;    // -align N, or null
    const char* givenName = nullptr;    // -n, or null
    const char* givenOutput = nullptr;  // -o, or null
    const char** files = nullptr;       // the files named, in order
    std::int32_t fileCount = 0;
};

// One file being converted: its names, allocated as long as they need to
// be, its input stream and its outputs.
struct Job {
    const char* inputName;
    char* outputName;
    char* prefix;
    char* headerName;  // with -header: beside the C file
    char* inputPath;   // with -incbin: the input's absolute path
    std::int32_t inStream;
    OutputFile output;  // fd -1 while there is none, or on standard output
    OutputFile header;  // with -header
};

constexpr char messagePrefix[] = "qavcvt: ";

void say(const char* message, const char* name = "", const char* after = "") {
    TL_say(messagePrefix, {message, name, after});
}

// A message about a file, then the system's reason for err on a line of
// its own. The two messages of a plain conversion, "Unable to open" its
// input and "Unable to create" the C file named after it, stay the one
// line that scripts know: why is said only for an output named with -o.
void sayWhy(int err, const char* message, const char* name) {
    say(message, name);
    TL_sayReason(err);
}

[[noreturn]] void fail(const char* message, const char* name = "") {
    TL_fail(messagePrefix, {message, name});
}

char* allocate(std::size_t size) { return static_cast<char*>(TL_allocateZeroed(messagePrefix, size, 1)); }

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

// "1", "2", "4" ... "4096", as written.
bool isAlignment(const char* text) {
    std::uint32_t value = 0;
    for (const char* c = text; *c != '\0'; ++c) {
        if (!TL_isDigit(*c) || value > 4096 || (c == text && *c == '0')) return false;
        value = value * 10 + static_cast<std::uint32_t>(*c - '0');
    }
    return value >= 1 && value <= 4096 && (value & (value - 1)) == 0;
}

// size bytes kept for the run (tool.h).
void* keptForRun(std::size_t size) {
    void* block = TL_allocateZeroed(messagePrefix, size, 1);
    TL_keepForRun(messagePrefix, block);
    return block;
}

// Keeps the first of two choices and refuses another, naming both: which
// one the run should follow would depend on the order of the options.
void takeOnce(const char*& chosen, const char* value, const char* what) {
    if (chosen != nullptr && std::strcmp(chosen, value) != 0)
        TL_fail(messagePrefix, {what, chosen, " and ", value, ": give one"});
    chosen = value;
}

// Takes option n (and its value); returns the number of the last argument
// it used.
std::int32_t takeOption(Options& o, std::int32_t n) {
    const char* argument = TL_TLI_TLIARV[n];
    const struct {
        const char* name;
        void (*set)(Options&);
    } switches[] = {
        {"-e", [](Options& x) { x.useBaseName = true; }},
        {"-const", [](Options& x) { x.constArrays = true; }},
        {"-len", [](Options& x) { x.withLength = true; }},
        {"-string", [](Options& x) { x.form = Form::string; }},
        {"-incbin", [](Options& x) { x.form = Form::incbin; }},
        {"-header", [](Options& x) { x.withHeader = true; }},
        {"-keep", [](Options& x) { x.keepUnchanged = true; }},
    };
    for (const auto& option : switches)
        if (std::strcmp(argument, option.name) == 0) {
            option.set(o);
            const bool form = std::strcmp(argument, "-string") == 0 || std::strcmp(argument, "-incbin") == 0;
            if (form) takeOnce(o.formFlag, argument, "Two forms asked for, ");
            return n;
        }
    if (std::strcmp(argument, "-n") == 0 || std::strcmp(argument, "-o") == 0 ||
        std::strcmp(argument, "-align") == 0) {
        if (n == TL_TLI_TLIARC) fail("Option needs a value: ", argument);
        const char* value = TL_TLI_TLIARV[++n];
        if (argument[1] == 'o') {
            takeOnce(o.givenOutput, value, "Two outputs asked for, ");
        } else if (argument[1] == 'a') {
            if (!isAlignment(value)) fail("-align takes a power of two from 1 to 4096: ", value);
            o.alignment = value;
        } else {
            if (!isIdentifier(value)) fail("Not a C identifier: ", value);
            o.givenName = value;
        }
        return n;
    }
    if (std::strcmp(argument, "-h") == 0 || std::strcmp(argument, "--help") == 0) {
        putStandardText(help);
        TL_quit(0);
    }
    if (std::strcmp(argument, "--version") == 0) {
        putStandardText(version);
        TL_quit(0);
    }
    fail("Unknown option ", argument);
}

// Takes the options, wherever they stand, and the files, in their order:
// "-" names standard input, and after "--" every argument is a file.
void takeArguments(Options& o) {
    o.files = TL_argumentsRoom(messagePrefix);
    bool optionsEnded = false;
    for (std::int32_t n = 1; n <= TL_TLI_TLIARC; ++n) {
        const char* argument = TL_TLI_TLIARV[n];
        if (!optionsEnded && std::strcmp(argument, "--") == 0) {
            optionsEnded = true;
        } else if (optionsEnded || argument[0] != '-' || std::strcmp(argument, standardStream) == 0) {
            o.files[o.fileCount++] = argument;
        } else {
            n = takeOption(o, n);
        }
    }
}

// The output name and the array prefix for the job's input.
void nameOutput(const Options& o, Job& job) {
    const char* const inputName = job.inputName;
    const char* const givenName = o.givenName;
    const char* slash = std::strrchr(inputName, '/');
    const char* component = slash == nullptr ? inputName : slash + 1;
    const char* dot = std::strchr(component, '.');
    // A component without a "." has an empty base, as a name without one
    // always had.
    const std::size_t baseLength = dot == nullptr ? 0 : static_cast<std::size_t>(dot - component);
    const std::size_t directoryLength = static_cast<std::size_t>(component - inputName);

    char* const outputName = job.outputName = allocate(directoryLength + baseLength + sizeof outputSuffix);
    std::memcpy(outputName, inputName, directoryLength + baseLength);
    std::memcpy(outputName + directoryLength + baseLength, outputSuffix, sizeof outputSuffix);

    // Room for the base, a "_" before a leading digit, the "_" after, and
    // the zero byte, or for the given name and its "_", and at least for
    // "QAV_".
    const std::size_t givenLength = givenName != nullptr ? std::strlen(givenName) : 0;
    const std::size_t named = (givenName != nullptr ? givenLength : baseLength) + 3;
    char* const prefix = job.prefix = allocate(named > sizeof "QAV_" ? named : sizeof "QAV_");
    if (givenName != nullptr) {
        std::memcpy(prefix, givenName, givenLength);
        std::memcpy(prefix + givenLength, "_", 2);
    } else if (!o.useBaseName || std::strcmp(inputName, standardStream) == 0) {
        std::memcpy(prefix, "QAV_", sizeof "QAV_");
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

void releaseNames(Job& job) {
    std::free(job.outputName);
    std::free(job.prefix);
    std::free(job.headerName);
    std::free(job.inputPath);
    job.outputName = job.prefix = job.headerName = job.inputPath = nullptr;
}

// Long string literals draw a pedantic warning from the compilers that know
// it (gcc only for C); the file says it means them.
constexpr char overlengthPragma[] =
    "#if defined(__clang__) || (defined(__GNUC__) && !defined(__cplusplus))\n"
    "#pragma GCC diagnostic ignored \"-Woverlength-strings\"\n"
    "#endif\n\n";

// The array's alignment in C++11, C11, and C99 with gcc and clang.
void putAlignment(Conversion& c, const char* alignment) {
    const char* const lines[] = {
        "#if defined(__cplusplus) && __cplusplus >= 201103L\nalignas(", alignment,
        ")\n#elif defined(__STDC_VERSION__) && __STDC_VERSION__ >= 201112L\n_Alignas(", alignment,
        ")\n#elif defined(__GNUC__)\n__attribute__((aligned(", alignment,
        ")))\n#else\n#error \"no way known to align the array with this compiler\"\n#endif\n"};
    for (const char* piece : lines) putOutput(c, piece);
}

const char* unsignedChar(const Options& o) {
    return o.constArrays ? "const unsigned char " : "unsigned char ";
}

// The type of the pointer to the bytes.
const char* unsignedCharPointer(const Options& o) {
    return o.constArrays ? "const unsigned char *" : "unsigned char *";
}

const char* unsignedLong(const Options& o) {
    return o.constArrays ? "const unsigned long " : "unsigned long ";
}

// The lines before the bytes; includedName is the header's, or null.
void putHead(Conversion& c, const Options& o, const char* prefix, const char* includedName) {
    putOutput(c, "/* QAV virtual machine byte code */\n\n");
    if (includedName != nullptr) {
        // The names then keep external and C linkage when compiled as C++.
        const char* const include[] = {"#include \"", includedName, "\"\n\n"};
        for (const char* piece : include) putOutput(c, piece);
    }
    // The assembler defines the array of the -incbin form (putIncbin).
    if (o.form == Form::incbin) return;
    if (o.form == Form::string) putOutput(c, overlengthPragma);
    if (o.alignment != nullptr) putAlignment(c, o.alignment);
    putOutput(c, unsignedChar(o));
    putOutput(c, prefix);
    putOutput(c, o.form == Form::string ? "QAV [] =\n" : "QAV [] = {\n");
}

void putTail(Conversion& c, const Options& o, const char* prefix, std::uint32_t length) {
    // The string form has closed its literal.
    putOutput(c, o.form == Form::string ? "\n" : "0};\n\n");
    putOutput(c, unsignedCharPointer(o));
    const char* const pointer[] = {prefix, "CQAV = ", prefix, "QAV;\n"};
    for (const char* piece : pointer) putOutput(c, piece);
    if (!o.withLength) return;
    char digits[24];
    char* end = TL_formatNat(digits, length, 0);
    *end = '\0';
    putOutput(c, unsignedLong(o));
    const char* const line[] = {prefix, "LEN = ", digits, ";\n"};
    for (const char* piece : line) putOutput(c, piece);
}

// The assembler's directives that define the array and, with -len, its
// length, reading the bytes from path, then the pointer in C. The C file
// holds the input's path, not its bytes: it stays the same when they
// change, and compiles at the assembler's speed.
void putIncbin(Conversion& c, const Options& o, const char* prefix, const char* path) {
    const char* const section = o.constArrays ? ".rodata" : ".data";
    const char* const guard[] = {
        "#if !defined(__GNUC__) || !defined(__ELF__)\n"
        "#error \"the -incbin form needs gcc or clang and ELF objects: convert with -string\"\n"
        "#endif\n\n"
        "__asm__(\".pushsection ", section, "\\n\"\n"};
    for (const char* piece : guard) putOutput(c, piece);
    if (o.alignment != nullptr) {
        const char* const align[] = {"        \".balign ", o.alignment, "\\n\"\n"};
        for (const char* piece : align) putOutput(c, piece);
    }
    const char* const array[] = {
        "        \".globl ", prefix, "QAV\\n\"\n"
        "        \".type ", prefix, "QAV, @object\\n\"\n"
        "        \"", prefix, "QAV:\\n\"\n"
        "        \".incbin \\\"", path, "\\\"\\n\"\n"
        "        \".L", prefix, "QAV_end:\\n\"\n"
        "        \".byte 0\\n\"\n"
        "        \".size ", prefix, "QAV, . - ", prefix, "QAV\\n\"\n"};
    for (const char* piece : array) putOutput(c, piece);
    if (o.withLength) {
        const char* const length[] = {
            "        \".globl ", prefix, "LEN\\n\"\n"
            "        \".type ", prefix, "LEN, @object\\n\"\n"
            "#if __SIZEOF_LONG__ == 8\n"
            "        \".balign 8\\n", prefix, "LEN:\\n.quad .L", prefix, "QAV_end - ", prefix, "QAV\\n\"\n"
            "#else\n"
            "        \".balign 4\\n", prefix, "LEN:\\n.long .L", prefix, "QAV_end - ", prefix, "QAV\\n\"\n"
            "#endif\n"
            "        \".size ", prefix, "LEN, . - ", prefix, "LEN\\n\"\n"};
        for (const char* piece : length) putOutput(c, piece);
    }
    putOutput(c, "        \".popsection\\n\");\n\n");
    const char* const names[] = {
        "extern ", unsignedChar(o), prefix, "QAV [];\n",
        unsignedCharPointer(o), prefix, "CQAV = ", prefix,
        "QAV;\n"};
    for (const char* piece : names) putOutput(c, piece);
}

void putHeader(Conversion& c, const Options& o, const char* prefix) {
    const char* const text[] = {
        "/* QAV virtual machine byte code */\n\n#ifndef ", prefix, "QAV_H\n#define ", prefix,
        "QAV_H\n\n#ifdef __cplusplus\nextern \"C\" {\n#endif\n\nextern ", unsignedChar(o),
        prefix, "QAV [];\nextern ", unsignedCharPointer(o),
        prefix, "CQAV;\n"};
    for (const char* piece : text) putOutput(c, piece);
    if (o.withLength) {
        const char* const line[] = {"extern ", unsignedLong(o), prefix, "LEN;\n"};
        for (const char* piece : line) putOutput(c, piece);
    }
    putOutput(c, "\n#ifdef __cplusplus\n}\n#endif\n\n#endif\n");
}

// The header's name beside the C file: its extension, if it has one,
// becomes ".h" ("out.c" gives "out.h").
char* headerNameFor(const char* cName) {
    const char* slash = std::strrchr(cName, '/');
    const char* dot = std::strrchr(slash == nullptr ? cName : slash + 1, '.');
    const std::size_t kept = dot == nullptr ? std::strlen(cName) : static_cast<std::size_t>(dot - cName);
    char* name = allocate(kept + 3);
    std::memcpy(name, cName, kept);
    std::memcpy(name + kept, ".h", sizeof ".h");
    return name;
}

// Whether name can stand between the quotes of an #include.
// Not a quote, a backslash or a control character (a line break ends the
// directive, and compilers stop at a carriage return or a tab as at a
// missing quote), and no trigraph, which strict C reads before anything
// else: "??=x.h" would name "#x.h".
bool includable(const char* name) {
    if (std::strpbrk(name, "\"\\") != nullptr) return false;
    for (const char* c = name; *c != '\0'; ++c)
        if (static_cast<unsigned char>(*c) < 0x20 || *c == 0x7F) return false;
    for (const char* q = std::strstr(name, "??"); q != nullptr; q = std::strstr(q + 1, "??"))
        if (q[2] != '\0' && std::strchr("=/'()!<>-", q[2]) != nullptr) return false;
    return true;
}

void closeStreams(Job& job) {
    if (job.inStream > 0) TL_close(job.inStream);
    job.inStream = 0;
}

// Opens the input, or standard input for "-".
int openInput(Job& job) {
    if (std::strcmp(job.inputName, standardStream) == 0) return STDIN_FILENO;
    TL_open(TL_modeBinaryIn, job.inputName, job.inStream);
    return job.inStream == 0 ? -1 : fileno(TL_handle(job.inStream));
}

// Whether an output was opened; says why not when it was not, with the
// system's reason where withReason.
bool opened(OutputOpened result, const char* name, bool withReason) {
    const int err = errno;
    switch (result) {
    case OutputOpened::ok: return true;
    case OutputOpened::sameAsInput: say("Output would overwrite the input: ", name); break;
    case OutputOpened::cannotCreate: sayWhy(withReason ? err : 0, "Unable to create ", name); break;
    case OutputOpened::linkLoop:
        say("Unable to create ", name, ": Too many levels of symbolic links");
        break;
    case OutputOpened::outOfMemory: fail("Out of memory");
    }
    return false;
}

// How the text meets what the output holds.
OutputStart startOf(const OutputFile& file, bool keepUnchanged) {
    if (file.temporaryName != nullptr) return OutputStart::newFile;
    if (!file.inPlace) return OutputStart::stream;
    return keepUnchanged ? OutputStart::keepInPlace : OutputStart::inPlace;
}

// Opens the header beside the C file; false, having said why, when it
// cannot be written there.
bool openHeader(const Options& o, Job& job, const struct stat& input, const char* cName) {
    if (job.output.fd >= 0 && !job.output.regular) {
        say("-header needs a regular output file: ", cName);
        return false;
    }
    if (!opened(openOutputFile(job.headerName, input, o.keepUnchanged, job.header), job.headerName, true))
        return false;
    if (job.output.fd >= 0 && sameDestination(job.output, job.header)) {
        say("The header would overwrite the C file: ", job.headerName);
        return false;
    }
    return true;
}

// Where a job's text goes: its name as the messages give it, and whether
// that is standard output.
struct Destination {
    const char* shown;
    bool standardOutput;
};

// Standard output by any name (/dev/stdout, /dev/fd/1, the file it was
// sent to) is written where it stands: a file opened by that name would
// lose what stands before, and a new file put in its place all of it.
Destination destinationOf(const Options& o, const Job& job) {
    const bool toStandardOutput =
        o.givenOutput != nullptr
            ? std::strcmp(o.givenOutput, standardStream) == 0 ||
                  namesStandardOutput(o.givenOutput)
            : std::strcmp(job.inputName, standardStream) == 0;
    return {o.givenOutput != nullptr && !toStandardOutput ? o.givenOutput : job.outputName,
            toStandardOutput};
}

// Says which outputs in place a failure or a signal has left cut short.
void sayIncomplete(const Job& job, Destination to) {
    if (leftIncomplete(job.output)) say(incompleteMessage, to.shown);
    if (leftIncomplete(job.header)) say(incompleteMessage, job.headerName);
}

// Says why a conversion failed: what failed, and which outputs written in
// place it has left cut short.
void sayFailure(const Job& job, ConvertResult result, Destination to) {
    const int err = errno;
    switch (result) {
    case ConvertResult::done: return;
    case ConvertResult::readFailed: sayWhy(err, "Unable to read ", job.inputName); break;
    case ConvertResult::writeFailed:
        // A file that may not be written, and does not hold the text.
        if (job.output.readOnly) {
            sayWhy(EACCES, "Unable to create ", to.shown);
            return;
        }
        sayWhy(err, "Unable to write ", to.standardOutput ? "standard output" : to.shown);
        break;
    case ConvertResult::tooLarge: say(tooLarge, job.inputName); break;
    }
    sayIncomplete(job, to);
}

// With -header, the header's name, checked before anything is opened;
// false, having said why, when it cannot be included.
bool nameHeader(const Options& o, Job& job, Destination to) {
    if (!o.withHeader) return true;
    if (to.standardOutput) {
        say("-header needs an output file, not standard output: ", job.inputName);
        return false;
    }
    job.headerName = headerNameFor(to.shown);
    const char* slash = std::strrchr(job.headerName, '/');
    if (!includable(slash == nullptr ? job.headerName : slash + 1)) {
        say("Not a header name to include: ", job.headerName);
        return false;
    }
    // Known before anything is opened: a FIFO would hold the run in open()
    // until a reader came.
    for (const char* name : {to.shown, static_cast<const char*>(job.headerName)})
        if (namesSpecialFile(name)) {
            say("-header needs a regular output file: ", name);
            return false;
        }
    return true;
}

// With -incbin, the input's absolute path, which the assembler reads
// wherever the compiler runs; false, having said why, where there is none
// it can read.
bool nameForAssembler(Job& job, const struct stat& input) {
    if (std::strcmp(job.inputName, standardStream) == 0) {
        say("-incbin needs an input file, not standard input");
        return false;
    }
    if (!S_ISREG(input.st_mode)) {
        say("-incbin needs a regular input file: ", job.inputName);
        return false;
    }
    job.inputPath = realpath(job.inputName, nullptr);
    if (job.inputPath == nullptr) {
        if (errno == ENOMEM) fail("Out of memory");
        sayWhy(errno, "Unable to read ", job.inputName);
        return false;
    }
    // Between the quotes of a string in C and then in the assembler: a
    // quote, a backslash or a control character would need escapes in
    // both, a name that no build uses; and the source must be valid UTF-8,
    // which compilers read (clang -Werror refuses other bytes).
    for (const char* p = job.inputPath; *p != '\0';) {
        const unsigned char byte = static_cast<unsigned char>(*p);
        const std::size_t length = TL_utf8SequenceLength(reinterpret_cast<const unsigned char*>(p));
        if (byte < 0x20 || byte == 0x7F || byte == '"' || byte == '\\' ||
            (byte == '?' && p[1] == '?') || length == 0) {
            say("-incbin cannot name this input to the assembler: ", job.inputPath);
            return false;
        }
        p += length;
    }
    return true;
}

// Opens the input and the outputs: what can be known of them is checked
// before anything is written. The input's descriptor, or -1 having said
// why.
int openJob(const Options& o, Job& job, Destination to) {
    errno = 0;  // a full stream table is no error of the system's
    const int in = openInput(job);
    if (in < 0) {
        sayWhy(o.givenOutput != nullptr ? errno : 0, "Unable to open ", job.inputName);
        return -1;
    }
    struct stat input;
    const bool known = fstat(in, &input) == 0;
    if (!known || S_ISDIR(input.st_mode)) {
        sayWhy(known ? EISDIR : errno, "Unable to read ", job.inputName);
        return -1;
    }
    if (S_ISREG(input.st_mode) && input.st_size > static_cast<off_t>(maxConvertedBytes)) {
        say(tooLarge, job.inputName);
        return -1;
    }
    if (o.form == Form::incbin && !nameForAssembler(job, input)) return -1;
    if (!to.standardOutput &&
        !opened(openOutputFile(to.shown, input, o.keepUnchanged, job.output), to.shown,
                o.givenOutput != nullptr))
        return -1;
    if (job.headerName != nullptr && !openHeader(o, job, input, to.shown)) return -1;
    // Another run writing the same file in place finishes first.
    waitForOtherWriters(job.output);
    waitForOtherWriters(job.header);
    return in;
}

// Writes the header's text; false, having said why, when it fails.
bool writeHeader(const Options& o, Job& job, Conversion& c) {
    beginOutput(c, job.header.fd, startOf(job.header, o.keepUnchanged), job.header.mark);
    putHeader(c, o, job.prefix);
    if (endOutput(c) == ConvertResult::done) return true;
    sayWhy(job.header.readOnly ? EACCES : errno, job.header.readOnly ? "Unable to create " : "Unable to write ", job.headerName);
    return false;
}

// Converts the job's input into its output; says why and returns false
// when it cannot, leaving whatever the output's name held before.
bool convertFile(const Options& o, Job& job, Conversion& c) {
    nameOutput(o, job);
    const Destination to = destinationOf(o, job);
    if (!nameHeader(o, job, to)) return false;
    const int in = openJob(o, job, to);
    if (in < 0) return false;

    // A C file written in place is changed last: a header that fails
    // before it then leaves both as they were.
    const bool headerFirst = job.headerName != nullptr && job.output.inPlace && !job.header.inPlace;
    if (headerFirst && !writeHeader(o, job, c)) return false;
    beginOutput(c, to.standardOutput ? STDOUT_FILENO : job.output.fd,
                startOf(job.output, o.keepUnchanged), job.output.mark);
    const char* slash = job.headerName == nullptr ? nullptr : std::strrchr(job.headerName, '/');
    putHead(c, o, job.prefix, slash == nullptr ? job.headerName : slash + 1);
    ConvertResult result = ConvertResult::done;
    if (o.form == Form::incbin) {
        putIncbin(c, o, job.prefix, job.inputPath);
        result = endOutput(c);
    } else {
        result = o.form == Form::string ? convertBytesAsString(c, in) : convertBytes(c, in);
        if (result == ConvertResult::done) {
            putTail(c, o, job.prefix, convertedLength(c));
            result = endOutput(c);
        }
    }
    if (result != ConvertResult::done) {
        sayFailure(job, result, to);
        return false;
    }
    if (job.headerName != nullptr && !headerFirst && !writeHeader(o, job, c)) {
        sayIncomplete(job, to);
        return false;
    }
    // Both complete: they take their places together.
    OutputFile* const both[] = {&job.output, &job.header};
    OutputFile* const* files = to.standardOutput ? both + 1 : both;
    const int count = (to.standardOutput ? 0 : 1) + (job.headerName != nullptr ? 1 : 0);
    const int failed = commitOutputFiles(files, count, o.keepUnchanged);
    if (failed < 0) return true;
    const bool isC = files[failed] == &job.output;
    sayWhy(errno, files[failed]->inPlace ? "Unable to write " : "Unable to create ",
           isC ? to.shown : job.headerName);
    sayIncomplete(job, to);
    return false;
}

// convertFile inside a handler area of its own: a signal (or a quit) while
// a file is being converted removes its temporary files on the way out.
bool convertOne(const Options& o, Job& job, Conversion& c) {
    HandlerArea area;
    area.next = TL_handlerArea;
    TL_handlerArea = &area;
    if (_setjmp(area.env) != 0) {
        // Signals are held from here on; the quit goes on to main.
        abandonOutputFile(job.output);
        abandonOutputFile(job.header);
        sayIncomplete(job, destinationOf(o, job));
        TL_quit(area.quitCode);
    }
    const bool done = convertFile(o, job, c);
    TL_handlerArea = area.next;
    abandonOutputFile(job.output);
    abandonOutputFile(job.header);
    releaseOutputFile(job.output);
    releaseOutputFile(job.header);
    releaseNames(job);
    return done;
}

}  // namespace

// An interrupted conversion must not leave a file that passes for a result.
const bool TL_catchesTermination = true;

void TProg() {
    // A file over the size limit is a write error, not a silent death.
    std::signal(SIGXFSZ, SIG_IGN);
    nameOutputs("qavcvt", "qavcvt: ");
    removeTemporariesOnFatalSignals();
    Options options;
    takeArguments(options);
    if (options.fileCount == 0 || options.files[0][0] == '\0') fail(usage);
    if (options.givenOutput != nullptr && options.fileCount > 1) fail("-o takes a single input file");
    // Files are opened one at a time and closed after, so every stream is
    // free for them, whatever the command line recorded.
    TL_nextfile = 1;
    // The conversion's buffers, allocated once for every file; the
    // shut-down frees them however the run ends.
    Conversion& conversion = *new (keptForRun(sizeof(Conversion))) Conversion;
    // The file being converted: kept where the run-time reaches it, so
    // that what its names hold stays reachable however the run ends.
    Job& job = *static_cast<Job*>(keptForRun(sizeof(Job)));

    bool allDone = true;
    for (std::int32_t n = 0; n < options.fileCount; ++n) {
        job = Job{options.files[n], nullptr, nullptr, nullptr, nullptr, 0, noOutputFile, noOutputFile};
        if (job.inputName[0] == '\0') {
            say(usage);
            allDone = false;
            continue;
        }
        if (!convertOne(options, job, conversion)) allDone = false;
        closeStreams(job);
    }
    if (!allDone) TL_quit(1);
}
