/* A small, portable description of a file, following symbolic links. */
#ifndef VAXOLOCAL_OMX_FILESTATUS_H
#define VAXOLOCAL_OMX_FILESTATUS_H

#include <stdint.h>
#include <time.h>

#include "omx_export.h"

#define OMX_FILE_DEVICE 0x0004u
#define OMX_FILE_DIRECTORY 0x0008u
#define OMX_FILE_REGULAR 0x0040u
#define OMX_FILE_LINK 0x0100u /* never set by OmxStatFile, which follows links */
#define OMX_FILE_PIPE 0x4000u
#define OMX_FILE_EXECUTABLE 0x8000u /* owner- or others-execute permission */

typedef struct OmxFileStatus {
    uint32_t flags;
    time_t changeTime;
    time_t modifyTime;
    time_t accessTime;
    int64_t size;
} OmxFileStatus;

OMX_BEGIN_DECLS

/* 0 and the record filled, or the platform's error number and the record zeroed. */
OMX_API int OmxStatFile(OmxFileStatus *status, const char *path);

OMX_END_DECLS

#endif
