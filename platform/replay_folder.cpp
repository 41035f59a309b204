// SPDX-License-Identifier: MIT
// The replay's own folder, which it plays in, so that its saves never touch the player's.
#include <dirent.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "recording.h"

namespace platform::recording {
namespace {

std::string replay_folder;

extern "C" void remove_replay_folder() {
    if (replay_folder.empty()) return;
    // Only what the game and the replay put there: the links, the table and its lock.
    if (DIR* d = opendir(replay_folder.c_str())) {
        while (dirent* e = readdir(d))
            if (std::strcmp(e->d_name, ".") != 0 && std::strcmp(e->d_name, "..") != 0) unlinkat(dirfd(d), e->d_name, 0);
        closedir(d);
    }
    rmdir(replay_folder.c_str());
    replay_folder.clear();
}

}  // namespace

std::string enter_replay_folder(const Loaded& r, const std::string& data_folder) {
    std::string base = std::getenv("TMPDIR") != nullptr ? std::getenv("TMPDIR") : "/tmp";
    std::string pattern = base + "/brin-replay-XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr) return std::string("no folder for the replay: ") + std::strerror(errno);
    replay_folder = pattern;
    std::atexit(remove_replay_folder);
    for (const auto& f : r.files) {
        if (!f.present) continue;
        std::string from = data_folder + "/" + f.name;
        if (symlink(from.c_str(), (replay_folder + "/" + f.name).c_str()) != 0)
            return "can't link " + from + ": " + std::strerror(errno);
    }
    if (r.table_present) {
        std::FILE* table = std::fopen((replay_folder + "/" + kTable).c_str(), "wb");
        bool written = table != nullptr && std::fwrite(r.table.data(), 1, r.table.size(), table) == r.table.size();
        if (table == nullptr || std::fclose(table) != 0 || !written)
            return "can't write the replay's " + std::string(kTable);
    }
    if (chdir(replay_folder.c_str()) != 0)
        return std::string("can't enter the replay's folder: ") + std::strerror(errno);
    return "";
}

}  // namespace platform::recording
