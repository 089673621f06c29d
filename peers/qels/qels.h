/*
 * The kernel library libqels.so, as the bridge calls it.
 *
 * QueryRCS answers a configuration key under a selector read as the level
 * mask of the configuration API (1 privileged, 2 group, 4 non-privileged; the
 * bit 4 also puts the process environment first; 7 admits everything). The
 * text stays owned by the library, or by the environment; NULL when the key
 * has no value. The answer comes from the configuration of the library that
 * loaded this one (libvaxolocal); in a program without it, only the
 * environment answers, and only when the bit 4 is set. A configuration that
 * cannot be loaded answers NULL; QueryRCS never ends the process.
 *
 * QelVersion writes the version text into buffer; *length holds the capacity
 * on entry and the text's length on return. An odd status means success.
 */
#ifndef QELS_H
#define QELS_H

#ifdef __cplusplus
extern "C" {
#endif

__attribute__((visibility("default"))) const char *QueryRCS(const char *key, int selector);
__attribute__((visibility("default"))) int QelVersion(char *buffer, int *length);

#define QELS_STATUS_OK 1
#define QELS_STATUS_FAILED 0

#ifdef __cplusplus
}
#endif

#endif
