// Discovery and loading of the process-wide configuration: the installation
// directory, the system file, the user's file and the drop-in files, in that
// order, then export to the environment and the block size.
#include "zoralrcs_load.h"

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <pthread.h>
#include <pwd.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/auxv.h>
#include <sys/stat.h>
#include <unistd.h>

#include "dataarea.h"
#include "helpers.h"
#include "omx_filestatus.h"
#include "omx_memory.h"
#include "qelsconf.h"
#include "zoralrcs_internal.h"

const char *m_rc_filepath = RC_DEFAULT_PATH;
int m_rc_override = 0;

enum { PATH_SIZE = 1024, LINK_SIZE = 2048, ERROR_TEXT_SIZE = 128 };

// Held while a store is built by the first call that needs one.
static pthread_mutex_t m_build_lock = PTHREAD_MUTEX_INITIALIZER;

static const char QELS_LINK[] = ZORAL_HOME "/sys/lib/libqels.so";
static const char FATAL_MESSAGE[] = "Cannot load config file! (#9091) ";

// snprintf into a path buffer; false when the path would not fit, so that a
// cut path never names another file.
static bool __format_path(char *path, const char *format, const char *a, const char *b) {
    int n = snprintf(path, PATH_SIZE, format, a, b);
    return n >= 0 && n < PATH_SIZE;
}

// Whether status is that of the null device, which reads as the empty file it stands for.
static bool __is_null_device(const struct stat *status) {
    struct stat null;
    return S_ISCHR(status->st_mode) && stat("/dev/null", &null) == 0 && S_ISCHR(null.st_mode) &&
           null.st_rdev == status->st_rdev;
}

// 0 when a configuration source of this status may be read, else why it is passed over:
// EINVAL for a kind that cannot be read as one (a device would never end), EPERM when others
// may write it, for then anyone could set privileged values. Group-writable sources stay
// readable: installations share them with an administrators' group.
static int __refusal(const struct stat *status, bool directory) {
    if (!directory && __is_null_device(status))
        return 0;
    bool kind = directory ? S_ISDIR(status->st_mode)
                          : S_ISREG(status->st_mode) || S_ISFIFO(status->st_mode);
    if (!kind)
        return EINVAL;
    return (status->st_mode & S_IWOTH) ? EPERM : 0;
}

// The file at path open for reading, or NULL (errno set) when it is missing or passed over;
// size is its size in bytes as opened (0 for a FIFO). A FIFO opens without waiting for a writer;
// without one it then reads as empty.
static FILE *__open_source(const char *path, off_t *size) {
    struct stat status;
    if (stat(path, &status) != 0)
        return NULL;
    if ((errno = __refusal(&status, false)) != 0) // a device is not even opened
        return NULL;
    int fd = open(path, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return NULL;
    // Decided again on what was opened, as the path may have changed meanwhile. A FIFO's reads
    // block again, so that a writer already on the other end is read to its end; other files
    // read alike either way.
    FILE *stream = NULL;
    if (fstat(fd, &status) == 0 && (errno = __refusal(&status, false)) == 0 &&
        (!S_ISFIFO(status.st_mode) || fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK) == 0))
        stream = fdopen(fd, "r");
    if (stream == NULL) {
        int error = errno;
        close(fd);
        errno = error;
        return NULL;
    }
    // The reader takes whole blocks, so the stream's own buffer would only copy them twice.
    setvbuf(stream, NULL, _IONBF, 0);
    *size = S_ISREG(status.st_mode) ? status.st_size : 0;
    return stream;
}

// Tells the observer the fate of a file or directory considered.
static void __tell(const char *path, int fate, int mask, int settings, const char *why) {
    if (vmobserve != NULL)
        vmobserve->source(vmobserve->data, path, fate, mask, settings, why);
}

// Tells why a source could not be opened (error: its errno); a source that is not there is
// missing, whatever part of its path is absent.
static void __tell_refused(const char *path, int error) {
    if (vmobserve == NULL)
        return;
    char text[ERROR_TEXT_SIZE];
    int fate = error == ENOENT || error == ENOTDIR ? VM_FATE_MISSING
               : error == EINVAL                   ? VM_FATE_NOT_REGULAR
               : error == EPERM                    ? VM_FATE_OTHERS_WRITE
                                                   : VM_FATE_UNREADABLE;
    __tell(path, fate, 0, 0,
           fate == VM_FATE_UNREADABLE ? strerror_r(error, text, sizeof text) : NULL);
}

bool psreadpath(const char *path, int mask) {
    off_t size = 0;
    FILE *fp = __open_source(path, &size);
    if (fp == NULL) {
        int error = errno;   // kept for the caller, whatever the observer does
        if (error == ENOMEM) // the file is there: its settings are lost, not absent
            vmlost++;
        __tell_refused(path, error);
        errno = error;
        return false;
    }
    psreserverc(size);
    int settings = psreadnamed(fp, mask, path);
    int error = ferror(fp) ? errno : 0;
    fclose(fp);
    if (settings < 0) {
        __tell_refused(path, ENOMEM);
        errno = ENOMEM;
        return false;
    }
    char text[ERROR_TEXT_SIZE];
    __tell(path, error != 0 ? VM_FATE_UNREADABLE : VM_FATE_READ, mask, settings,
           error != 0 ? strerror_r(error, text, sizeof text) : NULL);
    return true;
}

// The path of the kernel library behind either link, else of the running program as it
// was started (a link to the program names the link's place, not the program's).
static bool __installation_anchor(char *anchor) {
    const char *sources[] = {QELS_LINK, ZORAL_SYSTEM_QELS_LINK};
    for (const char *source : sources) {
        ssize_t n = readlink(source, anchor, LINK_SIZE - 1);
        if (n > 0) {
            anchor[n] = '\0';
            return true;
        }
    }
    const char *program = reinterpret_cast<const char *>(getauxval(AT_EXECFN));
    if (program != NULL && program[0] != '\0') {
        int n = snprintf(anchor, LINK_SIZE, "%s", program);
        return n < LINK_SIZE;
    }
    ssize_t n = readlink("/proc/self/exe", anchor, LINK_SIZE - 1);
    if (n <= 0)
        return false;
    anchor[n] = '\0';
    return true;
}

// The directory that holds the anchor, as a path; false when there is none.
static bool __anchor_directory(const char *anchor, char *dir) {
    const char *last = strrchr(anchor, '/');
    if (last == NULL)
        return false;
    if (anchor[0] == '/') {
        size_t length = static_cast<size_t>(last - anchor);
        if (length >= PATH_SIZE)
            return false;
        memcpy(dir, anchor, length);
        dir[length] = '\0';
        return dir[0] != '\0';
    }
    // Relative: keep the directory part with its last "/", dropping the slashes before it.
    const char *end = last;
    while (end > anchor && end[-1] == '/')
        end--;
    char part[PATH_SIZE];
    size_t length = static_cast<size_t>(end - anchor);
    if (length + 1 >= PATH_SIZE)
        return false;
    memcpy(part, anchor, length);
    part[length] = '/';
    part[length + 1] = '\0';
    const char *relative = strncmp(part, "./", 2) == 0 ? part + 2 : part;

    char cwd[PATH_SIZE];
    if (getcwd(cwd, sizeof cwd) != NULL)
        return __format_path(dir, "%s/%s", cwd, relative);
    if (relative[0] == '\0')
        return false;
    return __format_path(dir, "%s%s", relative, "");
}

// QELS_HOME is the parent of the directory that holds the kernel library, with links and
// ".." resolved as changing into it would; the process's working directory, shared by all
// its threads, is left alone.
static void __derive_home(void) {
    char anchor[LINK_SIZE];
    char dir[PATH_SIZE];
    char parent[PATH_SIZE];
    char home[PATH_MAX];
    if (__installation_anchor(anchor) && __anchor_directory(anchor, dir) &&
        __format_path(parent, "%s%s", dir, "/..") && realpath(parent, home) != NULL &&
        strlen(home) < PATH_SIZE)
        psaddrc("QELS_HOME", home, QELSCONF_NONPRIVILEGED, VM_ORIGIN_DERIVED);
}

static bool __absolute_form(const char *path) {
    return path[0] == '/' ||
           (path[0] != '\0' && path[1] != '\0' && (path[1] == ':' || path[0] == '\\'));
}

// Developer mode: the named file, else ./.ZORALrcs, is the only file read.
static bool __read_developer_file(const char *named) {
    psdefaultpath();
    if (!__absolute_form(named)) {
        __tell(named, VM_FATE_UNREADABLE, 0, 0, "not an absolute path");
        errno = EINVAL;
        return false;
    }
    return psreadpath(named, QELSCONF_ALL_LEVELS) || psreadpath("./.ZORALrcs", QELSCONF_ALL_LEVELS);
}

// Normal mode; leaves in candidate the path of qels.d beside the system file, or "".
static void __read_system_and_user_files(char *candidate) {
    char path[PATH_SIZE];
    char area[PATH_SIZE];
    area[0] = '\0';
    candidate[0] = '\0';

    const char *system_file = NULL;
    if (GetZoralDataArea(area, sizeof area, DATAAREA_CHECK_CONF_SYS, NULL, 0) == 0 &&
        area[0] != '\0' && __format_path(path, "%s%s", area, "/conf/sys/qels.conf") &&
        psreadpath(path, QELSCONF_ALL_LEVELS))
        system_file = path;
    else if (strlen(m_rc_filepath) >= PATH_SIZE)
        __tell_refused(m_rc_filepath, ENAMETOOLONG);
    else if (psreadpath(m_rc_filepath, QELSCONF_ALL_LEVELS))
        system_file = m_rc_filepath;

    if (system_file != NULL) {
        const char *slash = strrchr(system_file, '/');
        const char *backslash = strrchr(system_file, '\\');
        const char *end = slash > backslash ? slash : backslash;
        if (end != NULL) {
            int length = static_cast<int>(end - system_file) + 1;
            int n = snprintf(candidate, PATH_SIZE, "%.*s%s", length, system_file, "qels.d");
            if (n < 0 || n >= PATH_SIZE)
                candidate[0] = '\0';
        }
    }

    errno = 0;
    struct passwd *account = getpwuid(getuid());
    if (account == NULL && errno == ENOMEM)
        vmlost++;
    if (account != NULL && account->pw_dir != NULL) {
        const char *home = account->pw_dir;
        size_t length = strlen(home);
        const char *separator = length > 0 && home[length - 1] == '/' ? "" : "/";
        char user_file[PATH_SIZE];
        int n = snprintf(user_file, sizeof user_file, "%s%s.ZORALrcs", home, separator);
        if (n >= 0 && n < PATH_SIZE)
            psreadpath(user_file, QELSCONF_USER_LEVELS);
        else
            __tell_refused(home, ENAMETOOLONG);
    }
}

// Whether candidate names a directory; told as not chosen when it names none.
static bool __directory_beside(const char *candidate) {
    if (candidate[0] == '\0')
        return false;
    OmxFileStatus status;
    int error = OmxStatFile(&status, candidate);
    if (error == 0 && (status.flags & OMX_FILE_DIRECTORY))
        return true;
    __tell_refused(candidate, error != 0 ? error : EINVAL);
    return false;
}

// Tells of a QELS_CONF_DIR that a level other than the privileged one holds, which chooses
// nothing, so that its setter learns why.
static void __tell_unprivileged_conf_dir(void) {
    if (vmobserve == NULL || vmrootp == NULL)
        return;
    for (vmsect *section = vmrootp->next; section != vmrootp; section = section->next)
        for (vmitem *item = section->items->next; item != section->items; item = item->next)
            if (section->level != QELSCONF_PRIVILEGED && strcmp(item->name, "QELS_CONF_DIR") == 0) {
                __tell(item->value, VM_FATE_DIR_NOT_CHOSEN, 0, 0,
                       "QELS_CONF_DIR counts only in a privileged section");
                return;
            }
}

static void __read_dropins(const char *dir, const char *why) {
    DIR *listing = opendir(dir);
    if (listing == NULL) {
        int error = errno;
        if (error == ENOMEM)
            vmlost++;
        __tell_refused(dir, error == ENOTDIR ? EINVAL : error);
        return;
    }
    // Where others may add files, none of them is trusted.
    struct stat status;
    int refusal = fstat(dirfd(listing), &status) != 0 ? errno : __refusal(&status, true);
    if (refusal != 0) {
        closedir(listing);
        __tell_refused(dir, refusal);
        return;
    }
    __tell(dir, VM_FATE_DIR_CHOSEN, 0, 0, why);
    while (struct dirent *entry = readdir(listing)) {
        char path[PATH_SIZE];
        if (strstr(entry->d_name, ".conf") != NULL &&
            __format_path(path, "%s/%s", dir, entry->d_name))
            psreadpath(path, QELSCONF_ALL_LEVELS);
    }
    closedir(listing);
}

int fsreadrc(int fatal) {
    psinitrc();
    if (!m_rc_override)
        __derive_home();

    char candidate[PATH_SIZE];
    candidate[0] = '\0';
    // A set-ID process does not let its caller's environment choose the files it reads.
    const char *developer = secure_getenv("__KERNEL_DEVELOPER");
    if (developer != NULL) {
        // A file that could not be opened for lack of memory is no reason to end the process.
        if (!__read_developer_file(developer) && vmlost == 0) {
            if (fatal) {
                perror(FATAL_MESSAGE);
                exit(RC_LOAD_FAILED);
            }
            return RC_LOAD_FAILED;
        }
    } else {
        __read_system_and_user_files(candidate);
    }

    const char *conf_dir = fscheckrc("QELS_CONF_DIR", QELSCONF_PRIVILEGED);
    if (__directory_beside(candidate)) {
        if (conf_dir != NULL)
            __tell(conf_dir, VM_FATE_DIR_NOT_CHOSEN, 0, 0,
                   "QELS_CONF_DIR: qels.d beside the system file comes first");
        __read_dropins(candidate, "qels.d beside the system file");
    } else if (conf_dir != NULL) {
        // The store may change while the drop-ins are read; keep the directory apart.
        char dir[PATH_SIZE];
        if (__format_path(dir, "%s%s", conf_dir, ""))
            __read_dropins(dir, "QELS_CONF_DIR of a privileged section");
        else
            __tell_refused(conf_dir, ENAMETOOLONG);
    } else {
        __tell_unprivileged_conf_dir();
    }
    return fskeepwhole();
}

// Leading decimal number as atoi reads it, saturating instead of overflowing.
static long __leading_number(const char *text) {
    return strtol(text, NULL, 10);
}

static int __build(int fatal) {
    int result = fsreadrc(fatal);
    if (result != 0)
        return result;
    pssetenvs();

    const char *configured = fscheckrc("QELS_BLOCK_SIZE", QELSCONF_ALL_LEVELS);
    int block_size = configured != NULL && __leading_number(configured) > 2048 ? 4096 : 2048;
    char text[16];
    snprintf(text, sizeof text, "%d", block_size);
    psaddrc("QELS_BLOCK_SIZE", text, QELSCONF_NONPRIVILEGED, VM_ORIGIN_BLOCK_SIZE);
    return fskeepwhole();
}

int fscreconf(int fatal) {
    if (__atomic_load_n(&vmready, __ATOMIC_ACQUIRE))
        return 0;
    // Threads racing to the first call wait for one whole store instead of each building one
    // into the same lists (or reading a half-built one).
    pthread_mutex_lock(&m_build_lock);
    int result = vmrootp != NULL ? 0 : __build(fatal);
    if (vmrootp != NULL)
        __atomic_store_n(&vmready, 1, __ATOMIC_RELEASE);
    pthread_mutex_unlock(&m_build_lock);
    return result;
}

int fskeepwhole(void) {
    if (vmlost == 0)
        return 0;
    // A store that lost a setting would give wrong answers for as long as it stays.
    psdeleterc();
    return RC_NO_MEMORY;
}

void psdefaultpath(void) {
    if (m_rc_override)
        free(const_cast<char *>(m_rc_filepath));
    m_rc_filepath = RC_DEFAULT_PATH;
    m_rc_override = 0;
}

char *psnamecopy(const char *name) {
    while (__is_blank(*name))
        name++;
    size_t length = strlen(name);
    while (length > 0 && __is_blank(name[length - 1]))
        length--;
    char *copy = static_cast<char *>(OmxMemAlloc(length + 1));
    if (copy != NULL)
        memcpy(copy, name, length);
    return copy;
}

void psaddrc(const char *name, const char *value, int level, const char *origin) {
    if (name == NULL || value == NULL)
        return;
    if (vmrootp == NULL)
        psinitrc();
    while (__is_blank(*value))
        value++;
    // The value may be a text of the store that storing it frees.
    char *copy = OmxStrDup(value);
    char *trimmed = psnamecopy(name);
    if (copy == NULL || trimmed == NULL) {
        vmlost++;
    } else {
        unsigned long lost = vmlost;
        psstoreitem(fsgetsect(level), trimmed, copy, origin, 0);
        if ((level & QELSCONF_NONPRIVILEGED) && vmlost == lost)
            pssetenv(trimmed, copy);
    }
    OmxMemFree(copy);
    OmxMemFree(trimmed);
}

void pssetenv(const char *name, const char *value) {
    if (getenv("__QELSCONF_NOENV") != NULL)
        return;
    if (setenv(name, value, 1) != 0 && errno == ENOMEM) {
        unsetenv(name);
        vmlost++;
    }
}

// Exported settings, "NAME=value" texts that the environment may point at: never freed, as
// the environment and whoever read it may keep them, and reused whenever the same setting is
// exported again, so that reloading a configuration takes no more memory.
struct exportpool {
    char **texts; // open addressing, NULL where free, at most three quarters in use
    size_t capacity;
    size_t used;
};
static exportpool m_exports = {NULL, 0, 0};

// The environment array the last export installed; freed when the next one replaces it.
static char **m_environ = NULL;

// Names already in the environment or exported, while one export runs. Each name ends at its
// '=' (a variable) or its NUL (a setting's name).
struct nameset {
    const char **names; // open addressing, NULL where free, at most half in use
    size_t capacity;
    size_t used;
};

static const size_t FIRST_TABLE_SIZE = 64;

static bool __ends_name(char c) {
    return c == '\0' || c == '=';
}

// 2^64 divided by the golden ratio: a multiplier whose product spreads every bit of a word.
static const uint64_t HASH_FACTOR = 0x9e3779b97f4a7c15u;

// A hash of the length bytes at text continued from seed (0 to begin one), eight bytes at a
// time: exports hash every value, and a byte at a time would cost as much as the rest.
static uint32_t __hash_text(uint32_t seed, const char *text, size_t length) {
    uint64_t hash = (seed ^ static_cast<uint64_t>(length)) * HASH_FACTOR;
    for (; length >= 8; text += 8, length -= 8) {
        uint64_t word;
        memcpy(&word, text, sizeof word);
        hash = (hash ^ word) * HASH_FACTOR;
        hash ^= hash >> 32;
    }
    uint64_t tail = 0;
    for (size_t i = 0; i < length; i++)
        tail |= static_cast<uint64_t>(static_cast<unsigned char>(text[i])) << (8 * i);
    hash = (hash ^ tail) * HASH_FACTOR;
    // The low bits pick a slot: fold the well-mixed high bits into them.
    hash ^= hash >> 29;
    hash *= HASH_FACTOR;
    return static_cast<uint32_t>(hash >> 32);
}

static bool __same_name(const char *a, const char *b) {
    while (!__ends_name(*a) && *a == *b)
        a++, b++;
    return __ends_name(*a) && __ends_name(*b);
}

// The slot of name in set, or the free slot where it would go.
static const char **__name_slot(const nameset *set, const char *name, uint32_t hash) {
    size_t mask = set->capacity - 1;
    for (size_t i = hash & mask;; i = (i + 1) & mask)
        if (set->names[i] == NULL || __same_name(set->names[i], name))
            return &set->names[i];
}

// An empty set with room for count names; false when out of memory.
static bool __new_nameset(nameset *set, size_t count) {
    size_t capacity = FIRST_TABLE_SIZE;
    while (capacity / 2 < count && capacity <= SIZE_MAX / 2 / sizeof(char *))
        capacity *= 2;
    set->names =
        static_cast<const char **>(capacity / 2 >= count ? calloc(capacity, sizeof(char *)) : NULL);
    set->capacity = capacity;
    set->used = 0;
    return set->names != NULL;
}

// Adds name, whose hash is that of its characters, unless the set holds it; true when added.
// The set has room for it.
static bool __add_name(nameset *set, const char *name, uint32_t hash) {
    const char **slot = __name_slot(set, name, hash);
    if (*slot != NULL)
        return false;
    *slot = name;
    set->used++;
    return true;
}

// The hash of a "name=value" text: its value's continued from its name's.
static uint32_t __text_hash(const char *text) {
    const char *equals = strchr(text, '=');
    uint32_t name_hash = __hash_text(0, text, static_cast<size_t>(equals - text));
    return __hash_text(name_hash, equals + 1, strlen(equals + 1));
}

// Whether text is "name=value".
static bool __is_setting(const char *text, const char *name, const char *value) {
    while (*name != '\0' && *text == *name)
        text++, name++;
    return *name == '\0' && *text == '=' && strcmp(text + 1, value) == 0;
}

static char **__export_slot(char **texts, size_t capacity, uint32_t hash, const char *name,
                            const char *value) {
    size_t mask = capacity - 1;
    for (size_t i = hash & mask;; i = (i + 1) & mask)
        if (texts[i] == NULL || __is_setting(texts[i], name, value))
            return &texts[i];
}

// The pool's "name=value", made when missing; NULL when out of memory. The name has
// name_length characters and the hash of them.
static char *__export_text(const char *name, size_t name_length, uint32_t name_hash,
                           const char *value) {
    exportpool *pool = &m_exports;
    if ((pool->used + 1) * 4 > pool->capacity * 3) {
        size_t capacity = pool->capacity == 0 ? FIRST_TABLE_SIZE : pool->capacity * 2;
        char **texts = static_cast<char **>(
            capacity <= SIZE_MAX / sizeof(char *) ? calloc(capacity, sizeof(char *)) : NULL);
        if (texts == NULL)
            return NULL;
        for (size_t i = 0; i < pool->capacity; i++) {
            if (char *text = pool->texts[i]) {
                size_t at = __text_hash(text) & (capacity - 1);
                while (texts[at] != NULL) // the texts differ: the first free slot is its own
                    at = (at + 1) & (capacity - 1);
                texts[at] = text;
            }
        }
        free(pool->texts);
        pool->texts = texts;
        pool->capacity = capacity;
    }
    size_t value_size = strlen(value) + 1;
    uint32_t hash = __hash_text(name_hash, value, value_size - 1);
    char **slot = __export_slot(pool->texts, pool->capacity, hash, name, value);
    if (*slot == NULL) {
        char *text = static_cast<char *>(malloc(name_length + 1 + value_size));
        if (text == NULL)
            return NULL;
        memcpy(text, name, name_length);
        text[name_length] = '=';
        memcpy(text + name_length + 1, value, value_size);
        *slot = text;
        pool->used++;
    }
    return *slot;
}
// A new environment array holding the count entries of old and room for added more and the
// NULL that ends it; NULL when out of memory.
static char **__new_environment(char *const *old, size_t count, size_t added) {
    if (added > SIZE_MAX / sizeof(char *) - count - 1)
        return NULL;
    char **entries = static_cast<char **>(malloc((count + added + 1) * sizeof(char *)));
    if (entries != NULL && count > 0)
        memcpy(entries, old, count * sizeof(char *));
    return entries;
}

// Installs the new environment whole, then frees the array the last export installed, which
// the environment no longer points at.
static void __install(char **entries, size_t count) {
    entries[count] = NULL;
    __atomic_store_n(&environ, entries, __ATOMIC_RELEASE);
    free(m_environ);
    m_environ = entries;
}

// Whether setenv would take the name of length characters: not empty, no '='.
static bool __exportable(const char *name, size_t length) {
    return length > 0 && memchr(name, '=', length) == NULL;
}

void pssetenvs(void) {
    if (vmrootp == NULL || getenv("__QELSCONF_NOENV") != NULL)
        return;
    // One pass over the environment and one over the store: setenv and getenv would search
    // the whole environment once per setting.
    char **old = environ;
    size_t count = 0;
    while (old != NULL && old[count] != NULL)
        count++;
    size_t names = fsnamecount(); // no more settings than names can be exported
    nameset present;
    if (!__new_nameset(&present, count + names)) {
        vmlost++;
        return;
    }
    for (size_t i = 0; i < count; i++)
        if (const char *equals = strchr(old[i], '=')) // getenv finds no variable without one
            __add_name(&present, old[i],
                       __hash_text(0, old[i], static_cast<size_t>(equals - old[i])));
    char **entries = NULL;
    size_t total = count;
    // The highest level exports first, so that lower levels find its names taken. After a
    // failed export a lower level's value would take the variable; stop instead.
    bool failed = false;
    for (vmsect *section = vmrootp->prev; section != vmrootp && !failed; section = section->prev)
        for (vmitem *item = section->items->prev; item != section->items && !failed;
             item = item->prev) {
            const char *name = item->name;
            size_t length = strlen(name);
            if (!__exportable(name, length))
                continue;
            uint32_t hash = __hash_text(0, name, length);
            if (!__add_name(&present, name, hash))
                continue;
            char *text = __export_text(name, length, hash, item->value);
            if (entries == NULL && text != NULL)
                entries = __new_environment(old, count, names);
            failed = text == NULL || entries == NULL || total == count + names;
            if (!failed)
                entries[total++] = text;
        }
    free(present.names);
    if (entries != NULL)
        __install(entries, total);
    if (failed)
        vmlost++;
}
