// Where the command line program writes and what it reads: standard output and error, lines of
// standard input, and questions asked on the console with the typed text hidden. The program
// itself uses the console's; the tests hand it text in and read the text out.
#pragma once

#include <string>

class CmdIo {
public:
    virtual ~CmdIo() = default;

    virtual void Out(const std::string &text) = 0;
    virtual void Err(const std::string &text) = 0;
    // The next line of standard input, without its line end; false at its end.
    virtual bool ReadLine(std::string *line) = 0;
    // Whether questions can be asked: standard input is a console a person types into.
    virtual bool Interactive() = 0;
    // Asks `question` on the console and reads the answer, with the typed characters not shown
    // when `hidden`; false when nobody can be asked or the input ended.
    virtual bool Ask(const std::string &question, bool hidden, std::string *answer) = 0;
};

// The program's console: stdout, stderr, stdin; questions with the echo switched off.
class ConsoleIo : public CmdIo {
public:
    ConsoleIo();
    void Out(const std::string &text) override;
    void Err(const std::string &text) override;
    bool ReadLine(std::string *line) override;
    bool Interactive() override;
    bool Ask(const std::string &question, bool hidden, std::string *answer) override;

private:
    bool interactive_ = false;
};
