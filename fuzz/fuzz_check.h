// A failed check names its condition and aborts: libFuzzer keeps the input.
#pragma once
#include <stdio.h>
#include <stdlib.h>

#define FUZZ_CHECK(condition)                                                                      \
    ((condition) ? (void)0                                                                         \
                 : (fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #condition),  \
                    abort()))
