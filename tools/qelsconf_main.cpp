// qelsconf: the installation's configuration and data area as this library sees them, where
// each value comes from, and what is wrong in the files. Linked with the library's own
// objects, it explains a load through the reader's observer instead of reading files itself.
#include <errno.h>
#include <getopt.h>
#include <limits.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "dataarea.h"
#include "helpers.h"
#include "omx_memory.h"
#include "qelsconf.h"
#include "zoralrcs_internal.h"
#include "zoralrcs_load.h"
#include "zoralrcs_report.h"

static const char USAGE[] =
    "Usage: qelsconf [OPTION...] COMMAND [ARGUMENT...]\n"
    "\n"
    "Commands:\n"
    "  print                   the configuration, section by section\n"
    "  list [--show-origin]    every setting with its level, in listing order; with\n"
    "                          --show-origin each line starts with where the value came from\n"
    "                          (FILE:LINE, derived, block size or program), and a line\n"
    "                          \"environment\" follows each setting the environment overrides\n"
    "  get NAME [--mask=N]     the value NAME has under the level mask N (default 7:\n"
    "                          the environment, then non-privileged, group, privileged)\n"
    "  files                   every file and directory a load considers, in reading order,\n"
    "                          and what became of it\n"
    "  check [FILE...]         what is wrong in each FILE (default: the files a load reads),\n"
    "                          as FILE:LINE: error|warning|note: text, then a summary\n"
    "  data-area [--check=M]   the data area's path, after the checks of mask M\n"
    "                          (default 0x01: the area itself; 0x02 conf/sys, 0x04 conf/cof,\n"
    "                          0x08 ctl and its control files, 0x10 log, 0x20 db)\n"
    "print, list and get end with a note on standard error when the configuration\n"
    "holds errors or warnings.\n"
    "\n"
    "Options:\n"
    "  --file=PATH             read PATH as the system configuration file, unless the\n"
    "                          data area holds one of its own\n"
    "  --help                  this text\n"
    "  --version               the version\n"
    "\n"
    "Exit status:\n"
    "  0   success\n"
    "  1   NAME is not set, check found an error, or the data area failed a check\n"
    "      (its error code in the message)\n"
    "  64  the command line is wrong\n"
    "  66  an input file cannot be read\n"
    "  71  the configuration could not be loaded for lack of memory\n"
    "  74  the output could not be written\n";

// Exit statuses; from 64 on as sysexits.h numbers them.
enum {
    EXIT_FAILED = 1, // not set, errors found, or a data area that failed its checks
    EXIT_USAGE = 64,
    EXIT_NO_INPUT = 66,
    EXIT_NO_MEMORY = 71,
    EXIT_OUTPUT = 74,
};

// Long options without a short form take values beyond every character.
enum { OPT_FILE = 256, OPT_MASK, OPT_CHECK, OPT_SHOW_ORIGIN, OPT_VERSION };

static const struct option OPTIONS[] = {
    {"file", required_argument, NULL, OPT_FILE},
    {"mask", required_argument, NULL, OPT_MASK},
    {"check", required_argument, NULL, OPT_CHECK},
    {"show-origin", no_argument, NULL, OPT_SHOW_ORIGIN},
    {"help", no_argument, NULL, 'h'},
    {"version", no_argument, NULL, OPT_VERSION},
    {NULL, 0, NULL, 0},
};

// Indexed by enum vmfate and enum vmseverity.
static const char *const FATES[] = {
    "read",       "missing",           "wrong kind of file",        "writable by others",
    "unreadable", "drop-in directory", "drop-in directory not used"};
static const char *const SEVERITIES[] = {"note", "warning", "error"};

// What the tool makes of the observer's reports during a load.
enum report_mode {
    REPORT_NONE,    // only the fate of the --file path is kept
    REPORT_SOURCES, // files: a line per source
    REPORT_LOAD,    // check of a load: findings, and sources passed over as warnings
    REPORT_FILES,   // check of given files: findings; a file not read is an input error
};

struct report {
    report_mode mode;
    const char *file;   // the path given with --file, or NULL
    int file_fate;      // the fate of the last source named file, or -1
    char file_why[256]; // and why, cut to fit; "" without a reason
    int fate;           // the fate of the last source
    char why[256];      // and why
    int counts[3];      // findings by severity
};

static int __usage_error(const char *what, const char *detail) {
    fprintf(stderr, "qelsconf: %s%s\nTry 'qelsconf --help' for more information.\n", what, detail);
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

// Room for a path of PATH_MAX bytes, each written as four, in quotes.
#define QUOTED_SIZE (4 * PATH_MAX + 3)

// text with its control characters as C escapes (\n, \t, \ooo), so that no name taken from a
// file or directory can forge a line or a column of the output. A path (quote) that needs an
// escape is also put in double quotes, with its own quotes and backslashes escaped.
static const char *__escaped(const char *text, bool quote, char *out) {
    const unsigned char *c = reinterpret_cast<const unsigned char *>(text);
    while (*c >= 0x20 && *c != 0x7f && (!quote || (*c != '"' && *c != '\\')))
        c++;
    if (*c == '\0')
        return text;
    size_t n = 0;
    if (quote)
        out[n++] = '"';
    for (c = reinterpret_cast<const unsigned char *>(text); *c != '\0' && n + 6 < QUOTED_SIZE;
         c++) {
        if (*c == '\n' || *c == '\t' || (quote && (*c == '"' || *c == '\\')))
            n += static_cast<size_t>(snprintf(out + n, QUOTED_SIZE - n, "\\%c",
                                              *c == '\n'   ? 'n'
                                              : *c == '\t' ? 't'
                                                           : *c));
        else if (*c < 0x20 || *c == 0x7f)
            n += static_cast<size_t>(snprintf(out + n, QUOTED_SIZE - n, "\\%03o", *c));
        else
            out[n++] = static_cast<char>(*c);
    }
    if (quote)
        out[n++] = '"';
    out[n] = '\0';
    return out;
}

static const char *__fate_label(int fate) {
    return fate >= 0 && fate < static_cast<int>(sizeof FATES / sizeof FATES[0]) ? FATES[fate]
                                                                                : "considered";
}

// One finding as compilers print them; line 0 for one about the whole file.
static void __print_finding(report *r, const char *name, int line, int severity, const char *text) {
    char quoted[QUOTED_SIZE], escaped[QUOTED_SIZE];
    const char *path = __escaped(name, true, quoted);
    const char *said = __escaped(text, false, escaped);
    if (line > 0)
        printf("%s:%d: %s: %s\n", path, line, SEVERITIES[severity], said);
    else
        printf("%s: %s: %s\n", path, SEVERITIES[severity], said);
    r->counts[severity]++;
}

// A finding printed by check, or only counted for the note after list, print and get.
static void __tell(report *r, const char *path, int line, int severity, const char *text) {
    if (r->mode == REPORT_LOAD || r->mode == REPORT_FILES)
        __print_finding(r, path, line, severity, text);
    else
        r->counts[severity]++;
}

static void __on_source(void *data, const char *path, int fate, int mask, int settings,
                        const char *why) {
    report *r = static_cast<report *>(data);
    r->fate = fate;
    snprintf(r->why, sizeof r->why, "%s", why != NULL ? why : "");
    if (r->file != NULL && strcmp(path, r->file) == 0) {
        r->file_fate = fate;
        memcpy(r->file_why, r->why, sizeof r->why);
    }
    const char *label = __fate_label(fate);
    const char *colon = r->why[0] != '\0' ? ": " : "";
    if (r->mode == REPORT_SOURCES) {
        char quoted[QUOTED_SIZE];
        printf("%s\t%s", __escaped(path, true, quoted), label);
        if (fate == VM_FATE_READ)
            printf(" with mask %d%s, %d setting%s", mask,
                   (mask & QELSCONF_PRIVILEGED) ? "" : " (privileged sections ignored)", settings,
                   settings == 1 ? "" : "s");
        printf("%s%s\n", colon, __escaped(r->why, false, quoted));
    } else if (fate == VM_FATE_NOT_REGULAR || fate == VM_FATE_OTHERS_WRITE ||
               fate == VM_FATE_UNREADABLE || fate == VM_FATE_DIR_NOT_CHOSEN) {
        char text[512];
        snprintf(text, sizeof text, "passed over: %s%s%s", label, colon, r->why);
        __tell(r, path, 0, fate == VM_FATE_DIR_NOT_CHOSEN ? VM_NOTE : VM_WARNING, text);
    }
}

static void __on_finding(void *data, const char *path, int line, int severity, const char *text) {
    __tell(static_cast<report *>(data), path, line, severity, text);
}

// Loads as a process would, or with file read as the system file as QelsConfSetPath does, but
// never ends the process: 0, RC_LOAD_FAILED or RC_NO_MEMORY.
static int __load(const char *file) {
    if (file == NULL)
        return fscreconf(0);
    char *copy = OmxStrDup(file);
    if (copy == NULL)
        return RC_NO_MEMORY;
    psdefaultpath();
    m_rc_filepath = copy;
    m_rc_override = 1;
    int code = fsreadrc(0);
    if (code == 0) {
        pssetenvs();
        code = fskeepwhole();
    }
    return code;
}

// Loads under the observer; 0, or the exit status of a load that failed, its message printed.
static int __observed_load(report *r) {
    vmobserver observer = {__on_source, __on_finding, r};
    vmobserve = &observer;
    int code = __load(r->file);
    vmobserve = NULL;
    if (code == RC_NO_MEMORY) {
        fputs("qelsconf: out of memory while loading the configuration\n", stderr);
        return EXIT_NO_MEMORY;
    }
    if (code == RC_LOAD_FAILED) {
        fprintf(stderr, "qelsconf: no developer file can be read (__KERNEL_DEVELOPER=%s)\n",
                getenv("__KERNEL_DEVELOPER"));
        return EXIT_NO_INPUT;
    }
    if (r->file_fate != -1 && r->file_fate != VM_FATE_READ) {
        char quoted[QUOTED_SIZE];
        fprintf(stderr, "qelsconf: cannot read %s: %s%s%s\n", __escaped(r->file, true, quoted),
                __fate_label(r->file_fate), r->file_why[0] != '\0' ? ": " : "", r->file_why);
        return EXIT_NO_INPUT;
    }
    return 0;
}

// The installation directory a load stores before its first file, so that a file checked
// alone expands $QELS_HOME as a load would; NULL when none was derived.
static char *__derived_home(void) {
    fscreconf(0);
    if (vmrootp == NULL || vmrootp->prev->level != QELSCONF_NONPRIVILEGED)
        return NULL;
    vmitem *items = vmrootp->prev->items;
    for (vmitem *item = items->next; item != items; item = item->next)
        if (item->origin == VM_ORIGIN_DERIVED)
            return OmxStrDup(item->value);
    return NULL;
}

// Reads each file alone into a fresh store; 0, or the exit status of a file not read.
static int __check_files(report *r, char **files, int count) {
    char *home = __derived_home();
    int status = 0;
    vmobserver observer = {__on_source, __on_finding, r};
    for (int i = 0; i < count; i++) {
        psinitrc();
        if (home != NULL)
            psaddrc("QELS_HOME", home, QELSCONF_NONPRIVILEGED, VM_ORIGIN_DERIVED);
        vmobserve = &observer;
        bool read = vmrootp != NULL && psreadpath(files[i], QELSCONF_ALL_LEVELS);
        vmobserve = NULL;
        if (vmrootp == NULL) {
            fputs("qelsconf: out of memory\n", stderr);
            status = EXIT_NO_MEMORY;
        } else if (!read) {
            char quoted[QUOTED_SIZE];
            fprintf(stderr, "qelsconf: cannot read %s: %s%s%s\n", __escaped(files[i], true, quoted),
                    __fate_label(r->fate), r->why[0] != '\0' ? ": " : "", r->why);
            status = EXIT_NO_INPUT;
        }
    }
    OmxMemFree(home);
    psdeleterc();
    return status;
}

static void __print_counts(const report *r, FILE *out, const char *after) {
    int errors = r->counts[VM_ERROR];
    int warnings = r->counts[VM_WARNING];
    fprintf(out, "%d error%s, %d warning%s%s\n", errors, errors == 1 ? "" : "s", warnings,
            warnings == 1 ? "" : "s", after);
}

// Prints check's summary line; the exit status, given that of reading the files.
static int __summarize(const report *r, int status) {
    __print_counts(r, stdout, "");
    return status != 0 ? status : r->counts[VM_ERROR] > 0 ? EXIT_FAILED : 0;
}

static void __list(bool origins) {
    for (vmsect *section = vmrootp->next; section != vmrootp; section = section->next) {
        const char *level = __level_label(section->level);
        for (vmitem *item = section->items->next; item != section->items; item = item->next) {
            char quoted[QUOTED_SIZE];
            if (origins && item->line > 0)
                printf("%s:%d\t", __escaped(item->origin, true, quoted), item->line);
            else if (origins)
                printf("%s\t", item->origin);
            printf("%s\t%s\t%s\n", level, item->name, item->value);
            // The loader sets these two variables itself: lookups answer its own values.
            const char *environment = origins ? getenv(item->name) : NULL;
            if (environment != NULL && item->origin != VM_ORIGIN_DERIVED &&
                item->origin != VM_ORIGIN_BLOCK_SIZE)
                printf("environment\tEnvironment\t%s\t%s\n", item->name, environment);
        }
    }
}

static int __get(const char *name, int mask) {
    const char *value = QelsConfQuery(name, mask);
    if (value == NULL) {
        fprintf(stderr, "qelsconf: %s is not set\n", name);
        return EXIT_FAILED;
    }
    printf("%s\n", value);
    return 0;
}

static int __data_area(unsigned mask) {
    char path[DATAAREA_PATH_SIZE];
    char message[256];
    path[0] = '\0';
    int code = GetZoralDataArea(path, sizeof path, mask, message, sizeof message);
    if (code != 0) {
        fprintf(stderr, "%s (error %d)\n", message, code);
        return EXIT_FAILED;
    }
    printf("%s\n", path);
    return 0;
}

// Runs the command line; the exit status, before output errors.
static int __run(int argc, char **argv) {
    report r = {REPORT_NONE, NULL, -1, "", -1, "", {0, 0, 0}};
    const char *mask_text = NULL;
    int mask_option = 0;
    bool show_origin = false;
    opterr = 0;
    for (int option; (option = getopt_long(argc, argv, ":h", OPTIONS, NULL)) != -1;) {
        switch (option) {
        case 'h':
            fputs(USAGE, stdout);
            return 0;
        case OPT_VERSION:
            puts("qelsconf " VAXO_VERSION);
            return 0;
        case OPT_FILE:
            r.file = optarg;
            break;
        case OPT_MASK:
        case OPT_CHECK:
            mask_option = option;
            mask_text = optarg;
            break;
        case OPT_SHOW_ORIGIN:
            show_origin = true;
            break;
        case ':':
            return __usage_error("missing value after ", argv[optind - 1]);
        default:
            if (optopt > 0 && optopt < OPT_FILE && strncmp(argv[optind - 1], "--", 2) != 0) {
                char name[3] = {'-', static_cast<char>(optopt), '\0'};
                return __usage_error("unknown option ", name);
            }
            return __usage_error("unknown option ", argv[optind - 1]);
        }
    }
    if (optind >= argc)
        return __usage_error("no command given", "");
    const char *command = argv[optind];
    char **operands = argv + optind + 1;
    int count = argc - optind - 1;

    bool is_get = strcmp(command, "get") == 0;
    bool is_data_area = strcmp(command, "data-area") == 0;
    bool is_list = strcmp(command, "list") == 0;
    bool is_check = strcmp(command, "check") == 0;
    bool is_files = strcmp(command, "files") == 0;
    if (!is_get && !is_data_area && !is_list && !is_check && !is_files &&
        strcmp(command, "print") != 0)
        return __usage_error("unknown command ", command);
    if (is_get && count == 0)
        return __usage_error("get needs a NAME", "");
    int allowed = is_check ? count : is_get ? 1 : 0;
    if (count > allowed)
        return __usage_error("unexpected argument ", operands[allowed]);
    if ((mask_option == OPT_MASK && !is_get) || (mask_option == OPT_CHECK && !is_data_area))
        return __usage_error(mask_option == OPT_MASK ? "--mask" : "--check",
                             mask_option == OPT_MASK ? " belongs to get" : " belongs to data-area");
    if (show_origin && !is_list)
        return __usage_error("--show-origin", " belongs to list");

    unsigned long mask = is_get ? QELSCONF_ALL_LEVELS : DATAAREA_CHECK_AREA;
    if (mask_text != NULL && !__parse_mask(mask_text, is_get ? 7 : 0x3F, &mask))
        return __usage_error(is_get ? "the mask must be a number from 0 to 7, not "
                                    : "the check mask must be a number from 0 to 0x3F, not ",
                             mask_text);
    if (is_data_area)
        return __data_area(static_cast<unsigned>(mask));

    // Explaining a load leaves this process's environment as it was, so that what overrides
    // a setting is judged against the environment a process would start with.
    if (is_list || is_files || is_check)
        setenv("__QELSCONF_NOENV", "1", 1);
    if (is_check && count > 0) {
        r.mode = REPORT_FILES;
        return __summarize(&r, __check_files(&r, operands, count));
    }
    r.mode = is_files ? REPORT_SOURCES : is_check ? REPORT_LOAD : REPORT_NONE;
    int status = __observed_load(&r);
    if (is_check)
        return __summarize(&r, status);
    if (status != 0 || is_files)
        return status;
    if (is_get)
        status = __get(operands[0], static_cast<int>(mask));
    else if (is_list)
        __list(show_origin);
    else
        QelsConfPrint();
    // What was shown may not be what the files meant: say so, without failing the command.
    if (r.counts[VM_ERROR] + r.counts[VM_WARNING] > 0) {
        fflush(stdout); // the note comes after what it is about
        fputs("qelsconf: ", stderr);
        __print_counts(&r, stderr, " in the configuration; 'qelsconf check' shows them");
    }
    return status;
}

int main(int argc, char **argv) {
    // A closed pipe then fails the write, to be reported as any lost output is.
    signal(SIGPIPE, SIG_IGN);
    int status = __run(argc, argv);
    bool lost = ferror(stdout) != 0;
    if (fflush(stdout) != 0 || lost || fclose(stdout) != 0) {
        fprintf(stderr, "qelsconf: cannot write the output: %s\n", strerror(errno));
        return EXIT_OUTPUT;
    }
    return status;
}
