/*
 * The process-wide configuration, read from the installation's configuration
 * files into sections of three privilege levels.
 *
 * Levels are single bits; a mask of levels is their bitwise OR. In a lookup
 * mask, QELSCONF_NONPRIVILEGED also puts the process environment before the
 * stored settings, and 7 admits every level and the environment. Where a name
 * is stored at several admitted levels, the highest level wins: non-privileged
 * over group over privileged.
 */
#ifndef QELSCONF_H
#define QELSCONF_H

#define QELSCONF_PRIVILEGED 1    /* "[PRIVILEGED]" sections */
#define QELSCONF_GROUP 2         /* "[GROUP:names]" sections naming a group of the process */
#define QELSCONF_NONPRIVILEGED 4 /* "[NONPRIVILEGED]" sections and text before any header */

#endif
