// SPDX-License-Identifier: MIT
#include "run_converter.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include "support.h"

extern char** environ;

namespace test {

namespace {

std::vector<char*> pointers(std::vector<std::string>& texts) {
    std::vector<char*> all;
    for (std::string& t : texts) all.push_back(t.data());
    all.push_back(nullptr);
    return all;
}

}  // namespace

Converted convert(const std::vector<std::string>& arguments, const std::string& dir,
                  const std::vector<std::string>& environment) {
    const std::string said = dir + "said";
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, said.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    std::vector<std::string> argv{BRIN_PICTURE}, envp = environment;
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    Converted run;
    pid_t child = 0;
    const int failed = posix_spawn(&child, argv[0].c_str(), &actions, nullptr, pointers(argv).data(),
                                   environment.empty() ? environ : pointers(envp).data());
    posix_spawn_file_actions_destroy(&actions);
    if (failed) return run;
    int status = 0;
    rusage usage{};
    if (wait4(child, &status, 0, &usage) == child && WIFEXITED(status)) run.status = WEXITSTATUS(status);
    run.peak_kib = usage.ru_maxrss;
    const std::vector<unsigned char> text = read_file(said);
    run.said.assign(text.begin(), text.end());
    return run;
}

}  // namespace test
