#pragma once // a failed check names its condition and aborts: libFuzzer keeps the input
#include <stdio.h>
#include <stdlib.h>
#define FUZZ_CHECK(c)                                                                              \
    ((c) ? (void)0 : (fprintf(stderr, "%s:%d: %s\n", __FILE__, __LINE__, #c), abort()))
