/* A C program built against an installation: each failed check is printed and fails the run. */
#include <stdio.h>
#include <string.h>
#include <vaxolocal/omx_base64.h>
#include <vaxolocal/omx_compare.h>
#include <vaxolocal/omx_filestatus.h>
#include <vaxolocal/omx_memory.h>
#include <vaxolocal/strbuf.h>
#include <vaxolocal/version.h>

static int failures;
#define CHECK(ok) ((ok) ? (void)0 : (void)(failures++, fprintf(stderr, "C consumer: %s\n", #ok)))

/* argv[1] is the version of the build that was installed. */
int main(int argc, char **argv) {
    char numbers[32];
    snprintf(numbers, sizeof numbers, "%d.%d.%d", VAXOLOCAL_VERSION_MAJOR, VAXOLOCAL_VERSION_MINOR,
             VAXOLOCAL_VERSION_PATCH);
    CHECK(strcmp(numbers, VAXOLOCAL_VERSION) == 0);
    CHECK(argc == 2 && strcmp(argv[1], VAXOLOCAL_VERSION) == 0);

    char *text = NULL;
    unsigned char *bytes = NULL;
    CHECK(OmxBase64Encode((const unsigned char *)"kit\377", 4, &text) == 8 &&
          !strcmp(text, "a2l0/w=="));
    CHECK(OmxBase64Decode("a2l0/w==", 8, &bytes) == 4 && !memcmp(bytes, "kit\377", 5));
    OmxMemFree(text);
    OmxMemFree(bytes);

    strbuf *sb = strbuf_create(8, "vaxo");
    strbuf_append(sb, "local", -1);
    CHECK(sb && !strcmp(strbuf_get(sb), "vaxolocal") && sb->length == 9 && sb->capacity == 16);
    strbuf_destroy(sb);

    CHECK(OmxCompareNoCase("Vaxo", "vAXO") == 0 && OmxCompareLen("ab", "abc", 5) == 0);
    OmxFileStatus status;
    CHECK(OmxStatFile(&status, argv[0]) == 0 && (status.flags & OMX_FILE_EXECUTABLE) &&
          status.size > 0);
    CHECK(OmxStatFile(&status, "/") == 0 && (status.flags & OMX_FILE_DIRECTORY));
    return failures != 0;
}
