// Opening paths that come from users without hanging or writing into
// something that is not a file.
//
// A path may name a FIFO (open would wait for the other end for ever), a
// device node (/dev/zero reads without end, /dev/full swallows nothing), a
// directory or a socket. Every reader and writer of user-named files goes
// through these two functions: both open with O_NONBLOCK and accept only a
// regular file (or, for writing, a file they create).
#pragma once

#include <cstddef>
#include <cstdio>
#include <string>

namespace quorel {

// Reads the whole regular file at path, at most limit bytes, into out. False
// with a short reason in *why (if given) when it cannot be opened, is not a
// regular file, is larger than limit, or a read fails.
bool ReadRegularFile(const char *path, size_t limit, std::string *out, std::string *why);

// Opens path for writing from its start (truncating a regular file, creating
// a missing one with mode 0666 less the umask). A path that exists but is not
// a regular file is refused without being opened for writing: -1 with errno
// EINVAL. Otherwise the descriptor (blocking, close-on-exec), or -1 with the
// errno of open.
int OpenRegularFileForWriting(const char *path);
// The same as a stdio stream ("wb"); nullptr with errno on failure.
std::FILE *OpenRegularFileStream(const char *path);

}  // namespace quorel
