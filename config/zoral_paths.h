/*
 * The installation's fixed places, derived from the build's ZORAL_HOME
 * ("/usr/local/zoral" by default) and ZORAL_SYSTEM_QELS_LINK
 * ("/usr/lib/libqels.so" by default).
 */
#ifndef ZORAL_PATHS_H
#define ZORAL_PATHS_H

#if !defined(ZORAL_HOME) || !defined(ZORAL_SYSTEM_QELS_LINK)
#error "ZORAL_HOME and ZORAL_SYSTEM_QELS_LINK come from the build"
#endif

#endif
