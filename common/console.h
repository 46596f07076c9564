// The console: the one writer every program text goes through, on standard
// output, standard error or the terminal itself.
#pragma once

#include <memory>
#include <ostream>
#include <string_view>
#include <utility>

namespace common {

// One output stream of the console. The program's own texts (the GBK
// constants of each messages.h) go through text() and line(): a terminal
// that shows another encoding gets them in its own, and everything else
// (pipes, files, tests) gets what `Texts` asks for. Bytes that come from the
// user or the file system go through raw() exactly as they are, or through
// userText() as the user typed them.
class Console {
public:
    // Which bytes the program's own texts become where no terminal shows them.
    enum class Texts {
        AsGiven,           // their GBK bytes as they are, on pipes and files
        InLocaleEncoding,  // the locale's own encoding wherever they go
    };

    // Writes every text as its GBK bytes.
    explicit Console(std::ostream& stream) : stream_(&stream) {}
    // The process's standard output and standard error.
    static Console standardOutput(Texts texts = Texts::AsGiven);
    static Console standardError(Texts texts = Texts::AsGiven);
    // The terminal itself, even when the standard streams are redirected
    // (/dev/tty; the console on Windows).
    static Console terminal();

    void text(const char* gbk);
    void line(const char* gbk) {
        text(gbk);
        endLine();
    }
    void raw(std::string_view bytes) { *stream_ << bytes; }
    // Text in the encoding names have inside the program (the user's bytes on
    // POSIX; UTF-8 on Windows, shown there as the command line's texts are).
    void userText(std::string_view text);
    // A line end and a flush, as std::endl writes them.
    void endLine() { *stream_ << std::endl; }
    void flush() { stream_->flush(); }
    // True once a write has failed (a closed pipe, a full disk).
    bool failed() const { return stream_->fail(); }

private:
    // Where converted texts go, and in which encoding: the platform's own.
    struct Shown;
    Console(std::ostream& stream, std::shared_ptr<const Shown> shown) : stream_(&stream), shown_(std::move(shown)) {}
    static std::shared_ptr<const Shown> shownOn(int descriptor, Texts texts);
    bool writeConverted(std::string_view gbk);

    std::ostream* stream_;
    std::shared_ptr<const Shown> shown_;  // null: the GBK bytes as they are
};

// Writes to a pipe whose reader has left fail like any other write instead
// of ending the program.
void ignoreBrokenPipes();

}  // namespace common
