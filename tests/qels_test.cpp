#include <gtest/gtest.h>

#include <stdlib.h>

#include "qels.h"
#include "qelsconf.h"

TEST(Qels, QueryRcsWithoutAConfigurationAnswersNullInsteadOfEndingTheProcess) {
    setenv("__KERNEL_DEVELOPER", "/nonexistent/developer.conf", 1);
    QelsConfRemove();
    EXPECT_EQ(QueryRCS("QELS_EXE", 7), nullptr);
}
