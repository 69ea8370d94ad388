/* What a process that holds a secret asks of the system. */
#ifndef QEL_CORE_PROCESS_H
#define QEL_CORE_PROCESS_H

/* Keeps the process's memory out of core dumps and away from debuggers of
 * the same user for the rest of its life: on Linux it becomes non-dumpable
 * and its core size limit drops to 0; Windows writes no core file of its
 * own accord, so there it does nothing. Call before any key material exists.
 * Lowering these limits cannot fail, so nothing is returned. */
void process_deny_core_dumps();

/* Makes a write to a pipe whose reader has gone fail with EPIPE, like any
 * other lost write, instead of ending the process with SIGPIPE: a run that
 * must finish its files then finishes them and reports the loss. Windows
 * has no such signal; there it does nothing. */
void process_ignore_broken_pipe();

#endif
