// XML API double: every request is answered with the path this library was loaded from.
#include <dlfcn.h>

#ifndef NO_QelXmlApi
extern "C" __attribute__((visibility("default"))) int QelXmlApi(const char *, char **answer) {
    Dl_info self;
    dladdr(reinterpret_cast<void *>(&QelXmlApi), &self);
    *answer = const_cast<char *>(self.dli_fname); // the loader's copy lives as long as the library
    return 0;
}
#endif

#ifndef NO_QelXmlRelease
extern "C" __attribute__((visibility("default"))) void QelXmlRelease(void) {}
#endif
