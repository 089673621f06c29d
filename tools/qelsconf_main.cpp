// qelsconf: the installation's configuration and data area, as this library sees them.
#include <errno.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "dataarea.h"
#include "helpers.h"
#include "qelsconf.h"

static const char USAGE[] =
    "Usage: qelsconf [--file PATH] COMMAND\n"
    "\n"
    "Commands:\n"
    "  print                   the configuration, section by section\n"
    "  list                    every setting with its level, in listing order\n"
    "  get NAME [--mask N]     the value NAME has under the level mask N (default 7:\n"
    "                          the environment, then non-privileged, group, privileged);\n"
    "                          exit status 1 when NAME is not set\n"
    "  data-area [--check M]   the data area's path, after the checks of mask M\n"
    "                          (default 0x01: the area itself; 0x02 conf/sys, 0x04 conf/cof,\n"
    "                          0x08 ctl and its control files, 0x10 log, 0x20 db); on\n"
    "                          failure the message, with the error code as exit status\n"
    "\n"
    "Options:\n"
    "  --file PATH             read PATH as the system configuration file, unless the\n"
    "                          data area holds one of its own\n"
    "  --help                  this text\n";

enum { EXIT_NOT_SET = 1, EXIT_USAGE = 2 };

static int __usage_error(const char *what, const char *detail) {
    fprintf(stderr, "qelsconf: %s%s\n\n%s", what, detail, USAGE);
    return EXIT_USAGE;
}

// A whole number in decimal, octal (0...) or hexadecimal (0x...) within [0, max].
static bool __parse_mask(const char *text, unsigned long max, unsigned long *mask) {
    char *end = NULL;
    errno = 0;
    if (text[0] == '-' || text[0] == '+' || text[0] == '\0')
        return false;
    *mask = strtoul(text, &end, 0);
    return errno == 0 && *end == '\0' && *mask <= max;
}

static int __list(void) {
    QelsConfStart();
    int level = 0;
    char *value = NULL;
    while (const char *name = QelsConfNext(&level, &value))
        printf("%s\t%s\t%s\n", __level_label(level), name, value);
    return 0;
}

static int __get(const char *name, int mask) {
    const char *value = QelsConfQuery(name, mask);
    if (value == NULL) {
        fprintf(stderr, "qelsconf: %s is not set\n", name);
        return EXIT_NOT_SET;
    }
    printf("%s\n", value);
    return 0;
}

static int __data_area(unsigned mask) {
    char path[1024];
    char message[256];
    path[0] = '\0';
    int code = GetZoralDataArea(path, sizeof path, mask, message, sizeof message);
    if (code != 0) {
        fprintf(stderr, "%s\n", message);
        return code;
    }
    printf("%s\n", path);
    return 0;
}

int main(int argc, char **argv) {
    const char *file = NULL;
    const char *command = NULL;
    const char *name = NULL;
    const char *mask_text = NULL;
    const char *mask_option = NULL;

    for (int i = 1; i < argc; i++) {
        const char *arg = argv[i];
        if (strcmp(arg, "--help") == 0 || strcmp(arg, "-h") == 0) {
            fputs(USAGE, stdout);
            return 0;
        }
        if (strcmp(arg, "--file") == 0 || strcmp(arg, "--mask") == 0 ||
            strcmp(arg, "--check") == 0) {
            if (i + 1 >= argc)
                return __usage_error("missing value after ", arg);
            if (strcmp(arg, "--file") == 0) {
                file = argv[++i];
            } else {
                mask_option = arg;
                mask_text = argv[++i];
            }
        } else if (arg[0] == '-' && arg[1] != '\0') {
            return __usage_error("unknown option ", arg);
        } else if (command == NULL) {
            command = arg;
        } else if (strcmp(command, "get") == 0 && name == NULL) {
            name = arg;
        } else {
            return __usage_error("unexpected argument ", arg);
        }
    }
    if (command == NULL)
        return __usage_error("no command given", "");

    bool is_get = strcmp(command, "get") == 0;
    bool is_data_area = strcmp(command, "data-area") == 0;
    if (!is_get && !is_data_area && strcmp(command, "print") != 0 && strcmp(command, "list") != 0)
        return __usage_error("unknown command ", command);
    if (is_get && name == NULL)
        return __usage_error("get needs a NAME", "");
    if (mask_option != NULL && !((is_get && strcmp(mask_option, "--mask") == 0) ||
                                 (is_data_area && strcmp(mask_option, "--check") == 0)))
        return __usage_error(mask_option, is_get ? " belongs to data-area" : " belongs to get");

    unsigned long mask = is_get ? 7 : 1;
    if (mask_text != NULL && !__parse_mask(mask_text, is_get ? 7 : 0x3F, &mask))
        return __usage_error(is_get ? "the mask must be a number from 0 to 7, not "
                                    : "the check mask must be a number from 0 to 0x3F, not ",
                             mask_text);

    if (is_data_area)
        return __data_area(static_cast<unsigned>(mask));
    if (file != NULL)
        QelsConfSetPath(file);
    if (is_get)
        return __get(name, static_cast<int>(mask));
    if (strcmp(command, "list") == 0)
        return __list();
    QelsConfPrint();
    return 0;
}
