// OmxGetOSUser: the login name of the process's real user.
#include "omx_osuser.h"

#include <pwd.h>
#include <stdio.h>
#include <string.h>
#include <unistd.h>

extern "C" int OmxGetOSUser(char *user, unsigned int userSize, char *second,
                            unsigned int secondSize, char *errbuf, int errsize) {
    (void)secondSize;
    if (user == NULL || userSize == 0) {
        if (errbuf != NULL && errsize > 0)
            snprintf(errbuf, static_cast<size_t>(errsize),
                     "OmxGetOSUser line %d: Invalid argument(s) vvuserp=%p vlusrszi=%lld", 28,
                     static_cast<void *>(user), static_cast<long long>(userSize));
        return -1;
    }
    user[0] = '\0';
    if (second != NULL)
        second[0] = '\0';

    const struct passwd *account = getpwuid(getuid());
    if (account == NULL || account->pw_name == NULL)
        return -1;
    size_t length = strlen(account->pw_name);
    if (length > userSize - 1)
        length = userSize - 1;
    memcpy(user, account->pw_name, length);
    user[length] = '\0';
    return 0;
}
