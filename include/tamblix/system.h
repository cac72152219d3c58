// System commands: starting programs, opening documents, the environment,
// a text console and the file dialogs.
#pragma once
#include "tamblix/string.h"

// Starts the program of `command` (split into words like a shell's simple
// command, but never run through a shell: ; | & $ and the like reach the
// program as plain text). A program named without a directory is looked for
// in the running program's own folder first (so a helper shipped beside the
// game starts by its bare name), then along PATH; the working directory is
// not searched (name it as "./prog" to start a program from there). Leaves
// a fullscreen mode first and gives the window the focus back afterwards.
// With `wait` non-zero waits for it and stores its exit code (128 + the
// signal number for a program ended by a signal); otherwise `exit_code`
// stays 0 and the program is reaped when it ends (by one shared thread; if
// no thread can start, at the next start of a program). `show` has no
// effect here. Returns 1 when the program started, 0
// when it could not (missing, not executable, empty or malformed line).
int sys_shell_command(const BasicString& command, int wait, int show, double& exit_code);

// Ends the program as sys_end does and starts `command` (as above, without
// waiting) once the engine is torn down. Does not return.
void sys_shell_end(const BasicString& command);

// Hands a file or an address to the desktop's default handler (xdg-open).
// While the quit keys are enabled (the default), the engine is torn down
// first and the program ends afterwards; otherwise the program goes on.
void sys_open_document(const BasicString& name);

// The value of one environment variable ("" when unset); for an empty name
// every entry "NAME=value", each followed by "\n".
BasicString sys_get_env(const BasicString& name);
// Sets one variable; an empty value removes it (sys_get_env then gives ""
// and the listing has no entry for it). An empty name or one holding "=" is
// refused with error 7.
void sys_set_env(const BasicString& name, const BasicString& value);

// Without a terminal on standard input and output, opens a terminal window
// (the first of x-terminal-emulator and xterm found) and connects standard
// input and output to it; with a terminal already there nothing changes.
void sys_open_console();

// The desktop's file dialog (zenity, else kdialog): the open dialog when
// `open` is non-zero, the save dialog (asking before overwriting) otherwise.
// `filter` is "description|patterns|description|patterns...", patterns
// separated by ";" (e.g. "Images|*.png;*.bmp|All files|*"). Returns the
// chosen name with "/" separators, or "NO_FILE" when cancelled or when no
// dialog program exists. The working directory is kept.
BasicString sys_file_dialog(int open, const BasicString& filter);
