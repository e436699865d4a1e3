#pragma once

// The password of a command that runs without a window, read from standard
// input: on a terminal after a prompt on stderr with the typing hidden, else
// (a pipe, a file) the first line as it stands.

#include <QString>

namespace PasswordPrompt {

// The line without its line end; empty at the end of input.
QString Read(const QString &prompt);

} // namespace PasswordPrompt
