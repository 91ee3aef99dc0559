// A scratch directory under the temporary directory, removed with the object.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <string>

struct ScratchDir {
    std::string path;
    ScratchDir() {
        std::string templ = (std::filesystem::temp_directory_path() / "kova-scratch-XXXXXX").string();
        path = mkdtemp(templ.data()) != nullptr ? templ : "";
    }
    ScratchDir(const ScratchDir &) = delete;
    ScratchDir &operator=(const ScratchDir &) = delete;
    ~ScratchDir() { std::filesystem::remove_all(path); }
    std::string operator/(const std::string &name) const { return path + "/" + name; }
};
