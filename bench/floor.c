/* The process floor: a static program that does nothing. Its wall time is
 * what fork, exec, exit and wait cost on this machine before any program
 * does anything at all. */
int
main(void)
{
	return 0;
}
