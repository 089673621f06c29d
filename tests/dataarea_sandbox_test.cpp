// What the data area hands back into caller buffers of every size; the tool's
// data-area rows cover where the area is and what is checked.
#include <gtest/gtest.h>

#include <errno.h>
#include <stdlib.h>

#include <string>

#include "dataarea.h"

namespace {

TEST(Dataarea, CallerBuffersAreNeverOverrun) {
    const std::string home = VAXO_SANDBOX_HOME, var = home + "/var";
    ASSERT_EQ(system(("rm -rf '" + var + "' && mkdir '" + var + "'").c_str()), 0);
    EXPECT_EQ(GetZoralDataArea(NULL, 0, DATAAREA_CHECK_LOG, NULL, 0), ENOTDIR);
    const int fits = static_cast<int>(var.size()) + 1;
    const struct {
        unsigned int mask;
        int path_size, error_size, code;
        std::string path, error;
    } rows[] = {
        {DATAAREA_CHECK_LOG, DATAAREA_PATH_SIZE, 0, ENOTDIR, "untouched", "stale"},
        {DATAAREA_CHECK_LOG, DATAAREA_PATH_SIZE, 1, ENOTDIR, "untouched", ""},
        {DATAAREA_CHECK_LOG, DATAAREA_PATH_SIZE, 10, ENOTDIR, "untouched", "The log d"},
        {0, fits - 1, 10, ERANGE, "untouched", "The ZORAL"}, // refused rather than cut
        {0, fits, 0, 0, var, "stale"},
    };
    for (const auto &row : rows) {
        char path[DATAAREA_PATH_SIZE] = "untouched", error[256] = "stale";
        EXPECT_EQ(GetZoralDataArea(path, row.path_size, row.mask, error, row.error_size), row.code)
            << row.path_size << " " << row.error_size;
        EXPECT_EQ(path + std::string("|") + error, row.path + "|" + row.error) << row.path_size;
    }
    ASSERT_EQ(system(("rm -rf '" + var + "'").c_str()), 0);
}

} // namespace
