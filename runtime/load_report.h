// The log lines of failed loads and refused arguments: what a program's
// author reads in "ErrorLog.txt" (and on an attached debugger) to learn why a
// sprite, font, sound or music file did not load, or why a command refused
// its arguments.
#pragma once

// Records error 3 ("no such file") and writes one line
// "<what>: <name>: <reason>\n" to the error log and the debugger channel, e.g.
// "sprite: Media/hero.png: not found". The name is the one the program gave;
// a name longer than 160 bytes keeps its last bytes behind "...", and control
// characters in it become '?', so the entry stays one short line; an empty
// name reads "(no file name)".
void runtime_report_failed_load(const char* what, const char* name, const char* reason);

// Records `code` and writes "<command>: <detail> (error <code>)\n" to the
// error log and the debugger channel. Each command writes its first 16 such
// lines; the 16th says that later refusals of the command are not logged, so
// a refusal repeated every frame cannot flood the log. The code is recorded
// every time.
void runtime_report_refused(const char* command, const char* detail, int code);

// Forgets how many refusals each command has logged.
void runtime_report_reset_counts();
