#include "program_run.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <pty.h>
#include <sstream>
#include <sys/wait.h>
#include <unistd.h>

namespace program_run {

std::string temp_file(const char *stem) {
    std::string path = std::string(P_tmpdir) + "/kova-test-" + stem + "-XXXXXX";
    const int fd = mkstemp(path.data());
    if (fd >= 0) close(fd);
    return path;
}

std::string take(const std::string &path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    std::remove(path.c_str());
    return text.str();
}

std::vector<std::string> lines_of(const std::string &text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

std::map<std::string, std::uint32_t> parse_dump(const std::string &text) {
    std::map<std::string, std::uint32_t> regs;
    for (const std::string &line : lines_of(text)) {
        const auto equals = line.find('=');
        if (equals != std::string::npos)
            regs[line.substr(0, equals)] =
                static_cast<std::uint32_t>(std::stoul(line.substr(equals + 1), nullptr, 16));
    }
    return regs;
}

Outcome run(const char *program, const std::vector<std::string> &args, const Input &input) {
    const std::string out_file = temp_file("out"), err_file = temp_file("err");
    std::vector<std::string> command;
    if (std::string(KOVA_TEST_EMULATOR) != "") command.push_back(KOVA_TEST_EMULATOR);
    command.push_back(program);
    command.insert(command.end(), args.begin(), args.end());

    int master = -1, slave = -1;
    if (input.terminal && openpty(&master, &slave, nullptr, nullptr, nullptr) != 0) return {};
    const pid_t pid = fork();
    if (pid == 0) {
        const int out = open(out_file.c_str(), O_WRONLY | O_TRUNC);
        const int err = open(err_file.c_str(), O_WRONLY | O_TRUNC);
        const int in = input.terminal ? slave : open("/dev/null", O_RDONLY);
        dup2(in, STDIN_FILENO);
        dup2(out, STDOUT_FILENO);
        dup2(err, STDERR_FILENO);
        // Under a user-mode emulator, kovactl starts its simulated twin through it too.
        if (std::string(KOVA_TEST_EMULATOR) != "") setenv("KOVACTL_SIM_WRAPPER", KOVA_TEST_EMULATOR, 1);
        std::vector<char *> argv;
        for (auto &arg : command)
            argv.push_back(arg.data());
        argv.push_back(nullptr);
        execv(argv[0], argv.data());
        _exit(127);
    }
    if (input.terminal) {
        close(slave);
        const std::string typed = input.answer + "\n";
        if (write(master, typed.data(), typed.size()) < 0) {
            // the program reads nothing then, and takes it as a no
        }
    }
    int wait_status = 0;
    pid_t ended = 0;
    for (int waited = 0; input.signal != 0 && ended == 0 && waited < input.signal_after_ms; waited += 5) {
        usleep(5000);
        ended = waitpid(pid, &wait_status, WNOHANG);
    }
    if (ended == 0) {
        if (input.signal != 0) kill(pid, input.signal);
        waitpid(pid, &wait_status, 0);
    }
    if (master >= 0) close(master);
    Outcome outcome;
    outcome.status = WIFEXITED(wait_status) ? WEXITSTATUS(wait_status) : 128 + WTERMSIG(wait_status);
    outcome.out = take(out_file);
    outcome.err = take(err_file);
    return outcome;
}

} // namespace program_run
