/* Keeps the standard descriptors in place for the whole run. */
#ifndef QEL_CORE_STD_STREAMS_H
#define QEL_CORE_STD_STREAMS_H

#include "core/error.h"

/* Makes sure standard input, output and error are open, so that no file
 * the run opens can take the place of a closed one (and receive text meant
 * for standard output). A descriptor found closed is opened on the null
 * device for reading only: writes to it then fail and are reported rather
 * than land in a file. Returns QEL_OK, or QEL_ERR_IO with
 * "cannot open file '<null device>': <text>". Call first thing in main. */
[[nodiscard]] int std_streams_ensure_open(char *msg);

#endif
