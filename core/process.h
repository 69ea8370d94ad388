/* What a process that holds a secret asks of the system. */
#ifndef QEL_CORE_PROCESS_H
#define QEL_CORE_PROCESS_H

/* Keeps the process's memory out of core dumps and away from debuggers of
 * the same user for the rest of its life: on Linux it becomes non-dumpable
 * and its core size limit drops to 0; Windows writes no core file of its
 * own accord, so there it does nothing. Call before any key material exists.
 * Lowering these limits cannot fail, so nothing is returned. */
void process_deny_core_dumps();

#endif
