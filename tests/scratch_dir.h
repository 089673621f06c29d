// The one temporary-directory helper of the tests: a fresh directory under
// the test temporary directory, removed with everything in it at the end.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <string>

struct ScratchDir {
    std::string path; // no trailing slash

    ScratchDir() : path(testing::TempDir() + "vaxo.XXXXXX") {
        if (mkdtemp(&path[0]) == nullptr)
            ADD_FAILURE() << "mkdtemp " << path;
    }
    ~ScratchDir() {
        std::error_code ignored;
        std::filesystem::permissions(path, std::filesystem::perms::owner_all,
                                     std::filesystem::perm_options::add, ignored);
        std::filesystem::remove_all(path, ignored);
    }
    ScratchDir(const ScratchDir &) = delete;
    ScratchDir &operator=(const ScratchDir &) = delete;

    std::string operator/(const std::string &name) const {
        return path + "/" + name;
    }

    // Writes bytes to name (parent directories created) and returns its path.
    std::string write(const std::string &name, const std::string &bytes, mode_t mode = 0644) const {
        std::string file = *this / name;
        std::filesystem::create_directories(std::filesystem::path(file).parent_path());
        std::ofstream(file, std::ios::binary | std::ios::trunc) << bytes;
        chmod(file.c_str(), mode);
        return file;
    }
};
