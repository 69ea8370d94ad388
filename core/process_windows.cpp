#include "core/process.h"

void
process_deny_core_dumps()
{
}

void
process_ignore_broken_pipe()
{
}
