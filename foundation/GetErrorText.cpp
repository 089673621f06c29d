// OmxGetErrorText: the platform's text for an error number, cut to the caller's buffer.
#include "omx_error.h"

#include <errno.h>
#include <string.h>

// strerror() shares one buffer between threads; each strerror_r flavour is wrapped
// so that both yield a pointer to the text.
[[maybe_unused]] static const char *__error_text(int (*)(int, char *, size_t), int errnum,
                                                 char *scratch, size_t size) {
    return strerror_r(errnum, scratch, size) == 0 ? scratch : NULL;
}
[[maybe_unused]] static const char *__error_text(char *(*)(int, char *, size_t), int errnum,
                                                 char *scratch, size_t size) {
    return strerror_r(errnum, scratch, size);
}

extern "C" int OmxGetErrorText(int errnum, char *buffer, int size) {
    if (buffer == NULL || size < 1)
        return 0;
    if (errnum == -1)
        errnum = errno;

    char scratch[256];
    scratch[0] = '\0';
    const char *text = __error_text(strerror_r, errnum, scratch, sizeof scratch);
    if (text == NULL) {
        buffer[0] = '\0';
        return 0;
    }
    size_t length = strlen(text);
    if (length >= static_cast<size_t>(size))
        length = static_cast<size_t>(size) - 1;
    memcpy(buffer, text, length);
    buffer[length] = '\0';
    return static_cast<int>(length);
}
