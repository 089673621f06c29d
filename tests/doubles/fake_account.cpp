// Preloaded into tools under test: the real user's home is $FAKE_HOME, never a real one.
#include <pwd.h>
#include <stdlib.h>

extern "C" __attribute__((visibility("default"))) struct passwd *getpwuid(uid_t uid) {
    static struct passwd account;
    account.pw_uid = uid;
    account.pw_dir = getenv("FAKE_HOME");
    return &account;
}
