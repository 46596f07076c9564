// The console: the one writer every text of glint goes through, standard
// input as the user types it, and the press-any-key wait.
#pragma once

#include <istream>
#include <ostream>
#include <string>
#include <string_view>

namespace glint {

// One output stream of the console. The program's own texts (the GBK
// constants of messages.h) go through text() and line(): a terminal that
// shows another encoding gets them in its own, and everything else (pipes,
// files, tests) gets their GBK bytes unchanged. Bytes that come from the
// user or the file system go through raw() exactly as they are.
class Console {
public:
    // Which bytes the program's own texts become where no terminal shows them.
    enum class Texts {
        Dialogue,     // the designed GBK bytes on pipes and files
        CommandLine,  // the locale's own encoding wherever they go
    };

    // Writes every text as its GBK bytes.
    explicit Console(std::ostream& stream) : stream_(stream) {}
    // The process's standard output and standard error.
    static Console standardOutput(Texts texts = Texts::Dialogue);
    static Console standardError(Texts texts = Texts::Dialogue);
    // The terminal itself, even when the standard streams are redirected
    // (/dev/tty; the console on Windows): for the passphrase prompts.
    static Console terminal();

    void text(const char* gbk);
    void line(const char* gbk) {
        text(gbk);
        endLine();
    }
    void raw(std::string_view bytes) { stream_ << bytes; }
    // A file name as the user gave it (on Windows UTF-8, shown as the
    // command line's texts are), with each control character shown as '?':
    // a name can neither move the terminal's cursor nor break a line in two.
    void name(std::string_view fileName);
    // A line end and a flush, as std::endl writes them.
    void endLine() { stream_ << std::endl; }
    void flush() { stream_.flush(); }
    // True once a write has failed (a closed pipe, a full disk).
    bool failed() const { return stream_.fail(); }

private:
    Console(std::ostream& stream, int descriptor, Texts texts);
    static std::string withControlsShown(std::string_view fileName);
    bool writeConverted(std::string_view gbk);

    std::ostream& stream_;
    Texts texts_ = Texts::Dialogue;
#ifdef _WIN32
    void* consoleHandle_ = nullptr;  // set when texts are written as UTF-16
#else
    std::string codeset_;  // the terminal's character set, when texts are converted
#endif
};

// Writes to a pipe whose reader has left fail like any other write instead
// of ending the program.
void ignoreBrokenPipes();

// Standard input. On Windows it is handed on in UTF-8, the encoding of names
// inside the program: a console's typed lines from UTF-16, piped lines from
// the ANSI code page.
std::istream& standardInput();

// Whether the program reads on after a wait: keys typed after the one the
// wait takes are then left for its next read, and otherwise dropped, so that
// the shell never runs them.
enum class AfterTheKey { ProgramReadsOn, ProgramEnds };

// The press-any-key wait. `command` is the interpreter's pause command
// ("pause" or "PAUSE"); on Windows it runs through the interpreter, which
// prints its own line. Elsewhere the line is written to `out` and one whole
// key is read from the terminal, only when standard input is one.
void waitForKey(const char* command, AfterTheKey after, Console& out);

}  // namespace glint
