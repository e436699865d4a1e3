#include "PasswordPrompt.h"

#include <cstdio>
#include <string>
#include <termios.h>
#include <unistd.h>

namespace PasswordPrompt {

QString Read(const QString &prompt)
{
    const bool terminal = isatty(STDIN_FILENO) == 1;
    termios saved{};
    bool hidden = false;
    if (terminal) {
        std::fputs(prompt.toLocal8Bit().constData(), stderr);
        std::fflush(stderr);
        if (tcgetattr(STDIN_FILENO, &saved) == 0) {
            termios quiet = saved;
            quiet.c_lflag &= ~tcflag_t(ECHO);
            hidden = tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet) == 0;
        }
    }
    std::string line;
    for (int c = std::getchar(); c != EOF && c != '\n'; c = std::getchar())
        line += char(c);
    if (!line.empty() && line.back() == '\r')
        line.pop_back();
    if (hidden) {
        tcsetattr(STDIN_FILENO, TCSAFLUSH, &saved);
        std::fputs("\n", stderr); // the Enter the terminal did not echo
    }
    return QString::fromLocal8Bit(line.data(), qsizetype(line.size()));
}

} // namespace PasswordPrompt
