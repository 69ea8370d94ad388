#include "core/process.h"

void
process_deny_core_dumps()
{
}
