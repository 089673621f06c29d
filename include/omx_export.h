/* Marks the names this library exports; everything else stays hidden. */
#ifndef VAXOLOCAL_OMX_EXPORT_H
#define VAXOLOCAL_OMX_EXPORT_H

#define OMX_API __attribute__((visibility("default")))

#ifdef __cplusplus
#define OMX_BEGIN_DECLS extern "C" {
#define OMX_END_DECLS }
#else
#define OMX_BEGIN_DECLS
#define OMX_END_DECLS
#endif

#endif
