// A fresh store per case, files written into a private temporary directory,
// and views of the store taken from its lists (not through its lookups).
#ifndef ZORALRCS_FIXTURE_H
#define ZORALRCS_FIXTURE_H

#include <gtest/gtest.h>

#include <stdio.h>
#include <stdlib.h>

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "zoralrcs_internal.h"

typedef std::vector<std::pair<std::string, std::string>> Settings;

const int P = QELSCONF_PRIVILEGED, G = QELSCONF_GROUP, N = QELSCONF_NONPRIVILEGED;

class ConfigFileTest : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string pattern = (std::filesystem::temp_directory_path() / "zoralrcs.XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        dir_ = pattern;
        psinitrc();
        ASSERT_NE(vmrootp, nullptr);
    }
    void TearDown() override {
        psdeleterc();
        std::filesystem::remove_all(dir_);
    }

    // Writes text byte for byte to a new file and reads it under mask.
    void read(const std::string &text, int mask = 7) {
        std::string path = dir_ + "/" + std::to_string(files_++) + ".conf";
        FILE *file = fopen(path.c_str(), "wb");
        ASSERT_NE(file, nullptr);
        ASSERT_EQ(fwrite(text.data(), 1, text.size(), file), text.size());
        fclose(file);
        file = fopen(path.c_str(), "r");
        ASSERT_NE(file, nullptr);
        psreadfile(file, mask);
        fclose(file);
    }

    // The levels of the store's sections, in list order.
    static std::vector<int> levels() {
        std::vector<int> found;
        for (vmsect *s = vmrootp->next; s != vmrootp; s = s->next)
            found.push_back(s->level);
        return found;
    }

    // The settings of one level's section in list order; checks the links both ways.
    static Settings settings(int level) {
        Settings found;
        for (vmsect *s = vmrootp->next; s != vmrootp; s = s->next) {
            if (s->level != level)
                continue;
            for (vmitem *i = s->items->next; i != s->items; i = i->next) {
                EXPECT_EQ(i->next->prev, i);
                found.emplace_back(i->name, i->value);
            }
        }
        return found;
    }

  private:
    std::string dir_;
    int files_ = 0;
};

#endif
