// Preloaded into tools under test: the account of the real user has its home
// directory at $FAKE_HOME, so that no real home directory is ever read.
#include <pwd.h>
#include <stdlib.h>
#include <sys/types.h>

extern "C" __attribute__((visibility("default"))) struct passwd *getpwuid(uid_t uid) {
    static struct passwd account;
    static char name[] = "tester";
    const char *home = getenv("FAKE_HOME");
    account.pw_name = name;
    account.pw_uid = uid;
    account.pw_dir = const_cast<char *>(home != NULL ? home : "/nonexistent");
    return &account;
}
