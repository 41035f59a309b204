// SPDX-License-Identifier: MIT
// Level sets: the pictures and the font a game was played with. A recording names each data
// file it read with its size and CRC-32, and is matched to the set whose files are those.
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "hall.h"
#include "packing.h"

namespace hall {

namespace {

namespace fs = std::filesystem;

bool is_picture_or_font(const fs::directory_entry& e) {
    std::string ext = e.path().extension().string();
    return e.is_regular_file() && (ext == ".pcx" || ext == ".fon");
}

// Its files' sizes and CRC-32s, as recordings give theirs, and a key: the same pictures
// give the same key on every hall, wherever their folder is.
void digest_files(const std::vector<fs::path>& files, LevelSet& set) {
    Bytes all;
    for (const fs::path& f : files) {
        std::string name = f.filename().string();
        std::ifstream in(f, std::ios::binary);
        Bytes bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
        set.files[name] = {static_cast<std::uint32_t>(bytes.size()),
                           platform::recording::crc32_of(0, bytes.data(), bytes.size())};
        all.insert(all.end(), name.begin(), name.end());
        all.push_back(0);
        all.insert(all.end(), bytes.begin(), bytes.end());
    }
    set.key = digest_of(all).substr(0, 16);
}

// How many of the recording's data files the set holds as they were.
std::size_t alike(const LevelSet& set, const platform::recording::Loaded& r) {
    return static_cast<std::size_t>(std::count_if(r.files.begin(), r.files.end(), [&](const auto& f) {
        auto at = set.files.find(f.name);
        return f.present ? at != set.files.end() && at->second == std::pair{f.size, f.crc} : at == set.files.end();
    }));
}

std::string add_set(const std::string& folder, const std::string& name, std::vector<LevelSet>& sets) {
    std::error_code error;
    fs::path path = fs::absolute(folder, error);
    std::vector<fs::path> files;
    for (const auto& e : fs::directory_iterator(path, error))
        if (is_picture_or_font(e)) files.push_back(e.path());
    if (error) return folder + ": " + error.message();
    if (files.empty()) return folder + " holds no pictures";
    std::sort(files.begin(), files.end());
    LevelSet set{name, "", path.string(), {}};
    digest_files(files, set);
    for (const LevelSet& other : sets)
        if (other.name == set.name) set.name.append("-").append(set.key, 0, 4);  // two folders of one name
    sets.push_back(set);
    return "";
}

}  // namespace

std::string load_level_sets(const Settings& s, std::vector<LevelSet>& sets) {
    if (std::string error = add_set(s.shipped, "brin", sets); !error.empty()) return error;
    for (const std::string& folder : s.data) {
        fs::path path = fs::absolute(folder).lexically_normal();
        if (path.filename().empty()) path = path.parent_path();  // given with a trailing '/'
        if (std::string error = add_set(folder, path.filename().string(), sets); !error.empty()) return error;
    }
    return "";
}

const LevelSet* level_set_of(const std::vector<LevelSet>& sets, const platform::recording::Loaded& r,
                             std::string& why) {
    const LevelSet* nearest = nullptr;
    std::size_t most = 0;
    for (const LevelSet& set : sets) {
        std::size_t same = alike(set, r);
        if (same == r.files.size() && platform::recording::data_differs(r, set.folder).empty()) return &set;
        if (nearest == nullptr || same > most) {
            nearest = &set;
            most = same;
        }
    }
    // Said against the set it was nearly made with: "another 2.pcx" is the file to look at.
    why = nearest == nullptr ? "was made with pictures the hall has not"
                             : platform::recording::data_differs(r, nearest->folder);
    return nullptr;
}

}  // namespace hall
