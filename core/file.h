/* Checked output over the runtime's buffered streams.
 *
 * Every writer follows one pattern: open with file_open (mode "w"); while
 * the code is QEL_OK, write each piece with file_printf; then close with
 * file_close, passing the message buffer when everything succeeded and
 * null otherwise, so that the first failure's message stays. */
#ifndef QEL_CORE_FILE_H
#define QEL_CORE_FILE_H

#include <cstddef>
#include <cstdio>

#include "core/error.h"

/* Opens path with mode (fopen's modes; "w" creates the file or truncates
 * it at once). Returns the stream, or null after writing
 * "cannot open file '<path>': <runtime text>"; the caller maps null to
 * QEL_ERR_IO. The caller owns the stream until it hands it to file_close. */
[[nodiscard]] std::FILE *file_open(const char *path, const char *mode, char *msg);

/* Creates path for writing in text mode, failing when any directory entry
 * of that name exists (a dangling symlink included) and never following a
 * symlink. With owner_only the file is readable and writable by its owner
 * alone, whatever the umask (on Windows: an access list of its own, given
 * at the creation, see core/file_windows.h); otherwise it gets the usual
 * permissions less the umask (on Windows the directory's inherited list).
 * Returns the stream, or null after writing
 * "cannot open file '<path>': <runtime text>". When exists is non-null it
 * is set to true exactly when the name was taken (then no message is
 * written, so the caller can word it). */
[[nodiscard]] std::FILE *file_create_new(const char *path, bool owner_only,
                                         bool *exists, char *msg);

/* Formats to stream. Returns QEL_OK, or QEL_ERR_IO after writing
 * "cannot write to file: <runtime text>" when the write failed or the
 * stream's error flag is set (an earlier write was lost). */
[[nodiscard]] int file_printf(std::FILE *stream, char *msg, const char *format, ...)
    QEL_PRINTF(3, 4);

/* Pushes buffered output of a stream that stays open (standard output) to
 * the system. Returns QEL_OK, or QEL_ERR_IO after writing
 * "cannot write to file: <runtime text>": a buffered write that never
 * arrives is a failed write. */
[[nodiscard]] int file_flush(std::FILE *stream, char *msg);

/* Pushes the buffered text of a file opened for writing to the system and
 * makes the system put it on the disk (fsync; _commit on Windows), so that
 * a crash after the close cannot leave it empty. Returns QEL_OK, or
 * QEL_ERR_IO after writing "cannot close file: <runtime text>": the sync is
 * the first half of closing a file that must last. */
[[nodiscard]] int file_sync(std::FILE *stream, char *msg);

/* Makes the directory that holds path (the current one for a plain name)
 * record its entries on the disk, so that a file synced and closed there
 * keeps its name after a crash; nothing to do on Windows. Returns QEL_OK,
 * or QEL_ERR_IO after writing "cannot close file: <runtime text>". */
[[nodiscard]] int file_sync_dir(const char *path, char *msg);

/* Closes stream; the stream is gone afterwards whatever the result. A null
 * stream returns QEL_OK. Returns QEL_ERR_IO after writing
 * "cannot close file: <runtime text>" (nothing when msg is null) when the
 * buffered text cannot be delivered or the stream cannot be closed. After
 * a failed write the file keeps what reached it before the failure. */
int file_close(std::FILE *stream, char *msg);

/* Sets *exists to whether a directory entry named path is there: a file
 * of any kind or mode, readable or not, a directory, a symlink (dangling
 * or not). That is exactly what makes file_create_new refuse the name, so
 * a check made with it sees what the creation will see. Returns QEL_OK; or
 * QEL_ERR_IO with "cannot open file '<path>': <runtime text>" when the
 * system cannot tell (a directory on the way that may not be searched):
 * creating the file there would fail the same way. */
[[nodiscard]] int file_exists(bool *exists, const char *path, char *msg);

/* Reads the whole file at path (binary mode), at most limit + 1 bytes, into
 * a new block at *data that holds the bytes and a NUL after them; *length
 * is their count, limit + 1 meaning "longer than limit" (the caller words
 * that). *data must be null on entry. Returns QEL_OK; or, with *data null,
 * QEL_ERR_IO after "cannot open file '<path>': <runtime text>" or
 * "cannot read file '<path>': <runtime text>", or QEL_ERR_MEMORY ("out of
 * memory"). The caller releases the block with mem_free (after mem_wipe,
 * when the file holds a secret). */
[[nodiscard]] int file_read_all(const char *path, std::size_t limit, char **data,
                                std::size_t *length, char *msg);

/* Bytes a temporary name made by file_create_temp may take, NUL included. */
constexpr std::size_t FILE_TEMP_NAME_SIZE = 4096;

/* Creates a new file with a name of its own in the directory of path, for
 * writing in text mode, with the usual permissions (on Windows the
 * directory's inherited list), and stores its name in temp (of
 * FILE_TEMP_NAME_SIZE bytes). Returns the stream, or null after writing
 * "cannot open file '<path or temp>': <runtime text>". The caller removes
 * the file (file_remove) unless file_move_new took it. */
[[nodiscard]] std::FILE *file_create_temp(const char *path, char *temp, char *msg);

/* Gives the file at from the name to, in the same directory, in one step
 * that never replaces a file already named to (a symlink there included),
 * then makes the directory record it on the disk as file_sync_dir does.
 * Returns QEL_OK; or QEL_ERR_IO, with *exists true and no message when to
 * was taken, or after "cannot rename file '<from>' to '<to>': <text>" or
 * the directory sync's message. from stays where it was on failure. */
[[nodiscard]] int file_move_new(const char *from, const char *to, bool *exists, char *msg);

/* Removes the file at path if it can; used to clean up after a failure,
 * so it reports nothing. */
void file_remove(const char *path);

#endif
