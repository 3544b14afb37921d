#pragma once
// What the console program needs from the operating system, implemented once per platform in
// posix/ and win32/ (chosen by CMake).

// Sets the process up for a console session; call first in main. POSIX: a closed output
// (a pipe whose reader went away) makes writes fail instead of ending the program. Windows:
// the console reads and writes UTF-8 (restored at exit), and without a locale in the
// environment the texts follow the user's display language.
void PrepareConsole();

// Standard output is a terminal or console window (live progress bar, bell), not a file or pipe.
bool IsConsoleOutput();
// Standard input is typed by a user (not echoed into the transcript).
bool IsConsoleInput();
