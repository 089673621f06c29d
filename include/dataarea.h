/*
 * The installation's data area: the directory that holds its variable data,
 * found at ZORAL_HOME "/var", which is the area itself or a symbolic link to
 * it (a relative link target is taken relative to ZORAL_HOME).
 *
 * Results are 0, ENOENT (no data area is configured, or a control file is
 * missing), ENOTDIR (the area or a checked subdirectory is missing or not a
 * directory), ERANGE (the path does not fit the caller's buffer), or the
 * platform's error number from the status query of the area itself.
 */
#ifndef VAXOLOCAL_DATAAREA_H
#define VAXOLOCAL_DATAAREA_H

#include "omx_export.h"

/* Check-mask bits. Any non-zero mask validates the area itself; 0x01 does only that. */
#define DATAAREA_CHECK_AREA 0x01u
#define DATAAREA_CHECK_CONF_SYS 0x02u /* conf/sys is a directory */
#define DATAAREA_CHECK_CONF_COF 0x04u /* conf/cof is a directory */
#define DATAAREA_CHECK_CTL 0x08u      /* ctl is a directory holding CONTROL.BAF and CONTROL.BIF */
#define DATAAREA_CHECK_LOG 0x10u      /* log is a directory */
#define DATAAREA_CHECK_DB 0x20u       /* db is a directory */

/* A path buffer of this size holds any data area path. */
#define DATAAREA_PATH_SIZE 1024

OMX_BEGIN_DECLS

/*
 * Finds the data area and checks the items selected by mask, in the order
 * conf/sys, conf/cof, log, db, ctl. On success the area's path is written to
 * path (when path is non-NULL and pathSize positive); on failure path is left
 * alone. A non-NULL error buffer of positive size is emptied at entry and
 * receives a message, cut to errorSize - 1 characters, on failure only.
 */
OMX_API int GetZoralDataArea(char *path, int pathSize, unsigned int mask, char *error,
                             int errorSize);

OMX_END_DECLS

#endif
