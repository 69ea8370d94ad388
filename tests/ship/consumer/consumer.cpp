// The same product, compiled as C++: the header's extern "C" must give it
// the functions of the C library's link names.
#include "consumer.c"
