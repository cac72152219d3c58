// File channels (eight numbered files for reading and writing binary and
// text), whole-file commands and line files (a small text file as an array
// of lines). Names take "/" and "\\" as separators; a name starting with
// "mem://" is a memory file (read only).
//
// Errors: a bad channel (outside 0..7) in sys_open_file gives error 7 and
// result 0; in any other channel command error 7 and the program ends. A
// read of a channel that is not open, a read past the end of a disk file, a
// read at a position beyond the end of a memory file, a line read at the end
// of the file, a write (even of an empty text) to a channel without a disk
// file open for writing, and a short write give error 3 and end the program,
// with a line naming the channel and the command in the error log and on the
// standard error stream. The whole-file commands record error 3 and go on.
//
// Writes are buffered, but the bytes reach the file before anything can look
// at it: a seek, read or close of the channel, the opening of any channel,
// the whole-file and line-file commands, the starting of another program
// (sys_shell_command, sys_shell_end, sys_open_document) and the program's
// end. A short write (a full disk, a file-size limit, a pipe whose reader
// has gone) is found there and ends the program then (error 3); at the
// program's end it is recorded and reported, and the other channels are
// still written. Two channels open on the same file see each other's
// writes at once.
#pragma once
#include <cstdint>

#include "tamblix/string.h"

// mode < 0: append (created when missing, write only, the position at its
// end; a seek moves where the next write goes); 0: write (an existing file
// is emptied); > 0: read (found through the media lookup, memory files too).
// 1 when open, else 0 with error 3.
int sys_open_file(int channel, const BasicString& name, int mode);
void sys_close_file(int channel);
// origin 0: from the start; > 0: from the position; < 0: from the end.
void sys_seek_file(int channel, int64_t offset, int origin);
int64_t sys_file_position(int channel);

// The next line without its line feed (and a carriage return before it;
// a disk file's last line also loses a carriage return that ends the file,
// a memory file's keeps it); at most 1024 bytes.
void sys_read_line(int channel, BasicString& out);
void sys_read_int_line(int channel, int32_t& out);
void sys_read_real_line(int channel, double& out);
// Exactly `count` bytes as text (0 or less: the empty text). A memory file
// gives what it holds up to its end and zeros after it (at most 64 KiB of
// them); the position advances by the bytes read.
void sys_read_text(int channel, BasicString& out, int64_t count);

// Little-endian integers and IEEE reals. At the end of a memory file the
// bytes that are there are read and the rest of the value is zero.
void sys_read_u8(int channel, int32_t& out);
void sys_read_u16(int channel, int32_t& out);
void sys_read_u32(int channel, int32_t& out);  // the bits as a signed 32-bit value
void sys_read_u32(int channel, int64_t& out);  // 0 .. 4294967295
void sys_read_u32(int channel, double& out);   // 0 .. 4294967295
void sys_read_i8(int channel, int32_t& out);
void sys_read_i16(int channel, int32_t& out);
void sys_read_i32(int channel, int32_t& out);
void sys_read_f32(int channel, double& out);
void sys_read_f64(int channel, double& out);

// The text, then carriage return and line feed.
void sys_write_line(int channel, const BasicString& text);
void sys_write_text(int channel, const BasicString& text);
// The low 1, 2 or 4 bytes of the value (signed and unsigned forms write the
// same bytes); reals as 4 (single precision) or 8 bytes.
void sys_write_u8(int channel, int32_t value);
void sys_write_u16(int channel, int32_t value);
void sys_write_u32(int channel, int64_t value);
void sys_write_i8(int channel, int32_t value);
void sys_write_i16(int channel, int32_t value);
void sys_write_i32(int channel, int32_t value);
void sys_write_f32(int channel, double value);
void sys_write_f64(int channel, double value);

// Size in bytes of a disk or memory file; 0 when it cannot be opened.
int64_t sys_file_size(const BasicString& name);
// Last write in local time, "YYYY-MM-DD hh:mm:ss"; empty with error 3 (also
// for a directory).
BasicString sys_file_time(const BasicString& name);
// Copies a file (disk or memory) to a disk file. The target is replaced
// only once the copy is complete and on the disk, keeping its permission
// bits; on any failure (a file-size limit included) it stays as it was, no
// temporary file is left and error 3 is recorded. A file copied onto itself
// is left alone.
void sys_copy_file(const BasicString& from, const BasicString& to);

// Line `line` (0..255) of a text file, held in a cache of one file at a
// time: 0, or 7 with "NO_DATA" for a line above 255, or 3 with "NO_FILE"
// when the file is not found.
int sys_get_file_line(const BasicString& name, int line, BasicString& out);
// Replaces line `line` (0..255) in the cached file (started empty when it
// does not exist; texts over 1023 bytes are cut). Written back when another
// file is asked for and at program end. 0, or 7 for a line above 255.
int sys_put_file_line(const BasicString& name, int line, const BasicString& text);
