// OmxStatFile: the platform's status record reduced to OmxFileStatus.
#include "omx_filestatus.h"

#include <errno.h>
#include <string.h>
#include <sys/stat.h>

static uint32_t __kind_flags(mode_t mode) {
    if (S_ISCHR(mode) || S_ISBLK(mode))
        return OMX_FILE_DEVICE;
    if (S_ISDIR(mode))
        return OMX_FILE_DIRECTORY;
    if (S_ISREG(mode))
        return OMX_FILE_REGULAR;
    if (S_ISFIFO(mode) || S_ISSOCK(mode))
        return OMX_FILE_PIPE;
    return 0;
}

extern "C" int OmxStatFile(OmxFileStatus *status, const char *path) {
    if (status == NULL || path == NULL)
        return EINVAL;
    memset(status, 0, sizeof *status);

    struct stat64 st;
    if (stat64(path, &st) != 0)
        return errno;

    status->flags = __kind_flags(st.st_mode);
    if (st.st_mode & (S_IXUSR | S_IXOTH)) // group-execute deliberately not considered
        status->flags |= OMX_FILE_EXECUTABLE;
    status->changeTime = st.st_ctime;
    status->modifyTime = st.st_mtime;
    status->accessTime = st.st_atime;
    status->size = st.st_size;
    return 0;
}
