// Runs a set of commands side by side and reports, for each, the median wall time, the median CPU
// time (user and system), the median peak resident memory, the median count of minor page faults,
// and the median of its time ratio to the first command measured round by round (the commands of a
// round run one after another, so both terms of a ratio see the same machine load).
//
// Usage: run_timed ROUNDS FOLDER < commands
// Each input line is one of:
//   NAME<TAB>COMMAND                 a command to measure
//   pair<TAB>NAME_A<TAB>NAME_B       also report the paired time ratios A / B: median, quartiles
//                                    and range
//   clean<TAB>FILE...                files of FOLDER removed before every run, outside the
//                                    timing, so that each run creates its output as a first
//                                    conversion does (rewriting the same file back to back can
//                                    make the file system wait for the previous write-back)
//   budget<TAB>NAME<TAB>BASE<TAB>KIB report whether NAME's median peak memory stays within
//                                    BASE's plus KIB
//   status<TAB>NAME<TAB>STATUS       NAME, given on an earlier line, is expected to exit with
//                                    STATUS (else 0), as a refused request does
// A command without '|' runs directly from its blank-separated words; one with '|' runs through
// /bin/sh -c. Every command runs in FOLDER with standard input, output and error on /dev/null.
// One warm-up round comes first; the order of the commands rotates from round to round.
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

namespace {

struct Command {
    std::string name;
    std::string text;
    std::vector<double> millis;
    std::vector<double> cpuMillis;
    std::vector<long> peakKib;
    std::vector<long> faults;
    int expectedStatus = 0;
    bool failed = false;
};

struct Pair {
    std::size_t first;
    std::size_t second;
};

double median(std::vector<double> values) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    const std::size_t middle = values.size() / 2;
    return values.size() % 2 != 0 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

double nowMillis() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<double>(now.tv_sec) * 1e3 + static_cast<double>(now.tv_nsec) / 1e6;
}

std::vector<std::string> splitWords(const std::string& text) {
    std::istringstream in(text);
    std::vector<std::string> words;
    for (std::string word; in >> word;)
        words.push_back(word);
    return words;
}

// Runs one command to its end; false when it could not start or did not exit with the status
// expected of it.
bool runOnce(const Command& command, const std::string& folder,
             const std::vector<std::string>& cleanFiles, double* millis, double* cpuMillis,
             long* peakKib, long* faults) {
    for (const std::string& file : cleanFiles)
        std::remove((folder + "/" + file).c_str());
    std::vector<std::string> words;
    if (command.text.find('|') != std::string::npos) {
        words = {"/bin/sh", "-c", command.text};
    } else {
        words = splitWords(command.text);
    }
    if (words.empty()) return false;
    std::vector<char*> argv;
    for (std::string& word : words)
        argv.push_back(word.data());
    argv.push_back(nullptr);

    const double start = nowMillis();
    const pid_t child = fork();
    if (child < 0) return false;
    if (child == 0) {
        const int null = open("/dev/null", O_RDWR);
        if (null < 0 || chdir(folder.c_str()) != 0) _exit(126);
        dup2(null, 0);
        dup2(null, 1);
        dup2(null, 2);
        execvp(argv[0], argv.data());
        _exit(127);
    }
    int status = 0;
    rusage usage{};
    if (wait4(child, &status, 0, &usage) != child) return false;
    *millis = nowMillis() - start;
    const auto toMillis = [](timeval t) {
        return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_usec) / 1e3;
    };
    *cpuMillis = toMillis(usage.ru_utime) + toMillis(usage.ru_stime);
    *peakKib = usage.ru_maxrss;  // of the child and every descendant it waited for
    *faults = usage.ru_minflt;   // the child's own and those of the descendants it waited for
    return WIFEXITED(status) && WEXITSTATUS(status) == command.expectedStatus;
}

std::size_t findCommand(const std::vector<Command>& commands, const std::string& name) {
    for (std::size_t i = 0; i < commands.size(); ++i) {
        if (commands[i].name == name) return i;
    }
    return commands.size();
}

// The time ratios a / b of the rounds both ran, sorted.
std::vector<double> pairedRatios(const Command& a, const Command& b) {
    std::vector<double> ratios;
    for (std::size_t round = 0; round < a.millis.size() && round < b.millis.size(); ++round) {
        ratios.push_back(a.millis[round] / b.millis[round]);
    }
    std::sort(ratios.begin(), ratios.end());
    return ratios;
}

double pairedRatio(const Command& a, const Command& b) {
    return median(pairedRatios(a, b));
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s ROUNDS FOLDER < commands\n", argv[0]);
        return 2;
    }
    const int rounds = std::atoi(argv[1]);
    const std::string folder = argv[2];
    std::vector<Command> commands;
    std::vector<std::pair<std::string, std::string>> pairNames;
    std::vector<std::string> cleanFiles;
    struct Budget {
        std::string name;
        std::string base;
        double extraKib;
    };
    std::vector<Budget> budgets;
    for (std::string line; std::getline(std::cin, line);) {
        const std::size_t tab = line.find('\t');
        if (line.empty() || tab == std::string::npos) continue;
        const std::string name = line.substr(0, tab);
        const std::string rest = line.substr(tab + 1);
        if (name == "budget") {
            const std::vector<std::string> words = splitWords(rest);
            if (words.size() == 3) {
                budgets.push_back({words[0], words[1], std::atof(words[2].c_str())});
            }
        } else if (name == "status") {
            const std::vector<std::string> words = splitWords(rest);
            const std::size_t at = findCommand(commands, words.empty() ? "" : words[0]);
            if (words.size() == 2 && at < commands.size()) {
                commands[at].expectedStatus = std::atoi(words[1].c_str());
            }
        } else if (name == "clean") {
            for (const std::string& file : splitWords(rest))
                cleanFiles.push_back(file);
        } else if (name == "pair") {
            const std::size_t second = rest.find('\t');
            if (second != std::string::npos) {
                pairNames.emplace_back(rest.substr(0, second), rest.substr(second + 1));
            }
        } else {
            commands.push_back(Command{name, rest, {}, {}, {}, {}, 0, false});
        }
    }
    if (commands.empty() || rounds < 1) return 2;

    const std::size_t count = commands.size();
    for (int round = -1; round < rounds; ++round) {  // round -1 warms the caches up
        for (std::size_t step = 0; step < count; ++step) {
            Command& command = commands[(step + static_cast<std::size_t>(round + 1)) % count];
            if (command.failed) continue;
            double millis = 0;
            double cpuMillis = 0;
            long peakKib = 0;
            long faults = 0;
            if (!runOnce(command, folder, cleanFiles, &millis, &cpuMillis, &peakKib, &faults)) {
                command.failed = true;
                continue;
            }
            if (round < 0) continue;
            command.millis.push_back(millis);
            command.cpuMillis.push_back(cpuMillis);
            command.peakKib.push_back(peakKib);
            command.faults.push_back(faults);
        }
    }

    const Command& reference = commands.front();
    std::printf("  %-22s %10s %10s %10s %12s %10s %14s\n", "program", "median ms", "min ms",
                "cpu ms", "peak KiB", "faults", ("x " + reference.name).c_str());
    for (const Command& command : commands) {
        if (command.failed) {
            std::printf("  %-22s FAILED: %s\n", command.name.c_str(), command.text.c_str());
            continue;
        }
        std::vector<double> peaks(command.peakKib.begin(), command.peakKib.end());
        std::vector<double> faults(command.faults.begin(), command.faults.end());
        std::printf("  %-22s %10.2f %10.2f %10.2f %12.0f %10.0f %14.2f\n", command.name.c_str(),
                    median(command.millis),
                    *std::min_element(command.millis.begin(), command.millis.end()),
                    median(command.cpuMillis), median(peaks), median(faults),
                    reference.failed ? 0.0 : pairedRatio(command, reference));
    }
    for (const auto& [nameA, nameB] : pairNames) {
        const std::size_t a = findCommand(commands, nameA);
        const std::size_t b = findCommand(commands, nameB);
        if (a == count || b == count || commands[a].failed || commands[b].failed) continue;
        const std::vector<double> ratios = pairedRatios(commands[a], commands[b]);
        if (ratios.empty()) continue;
        const std::size_t last = ratios.size() - 1;
        std::printf("  paired ratio %s / %s: %.2f (quartiles %.2f-%.2f, range %.2f-%.2f)\n",
                    nameA.c_str(), nameB.c_str(), median(ratios), ratios[last / 4],
                    ratios[last - last / 4], ratios.front(), ratios.back());
    }
    for (const Budget& budget : budgets) {
        const std::size_t a = findCommand(commands, budget.name);
        const std::size_t b = findCommand(commands, budget.base);
        if (a == count || b == count || commands[a].failed || commands[b].failed) continue;
        const auto medianPeak = [](const Command& command) {
            return median(std::vector<double>(command.peakKib.begin(), command.peakKib.end()));
        };
        const double peak = medianPeak(commands[a]);
        const double limit = medianPeak(commands[b]) + budget.extraKib;
        std::printf("  peak memory %s: %.0f KiB, budget %s + %.0f = %.0f KiB: %s\n",
                    budget.name.c_str(), peak, budget.base.c_str(), budget.extraKib, limit,
                    peak <= limit ? "within" : "OVER");
    }
    return 0;
}
