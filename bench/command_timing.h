// Wall time of external commands for the benches that compare an operation
// with a standard tool: each run is a fork and exec of its own (no shell in
// between), its output thrown away, and the median of the runs is reported.
#ifndef TALVO_BENCH_COMMAND_TIMING_H
#define TALVO_BENCH_COMMAND_TIMING_H

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace bench {

// Runs argv once with stdout and stderr on /dev/null; its wall time in
// seconds, or -1 when it could not run or exited with a status other than 0.
inline double time_command(const std::vector<std::string>& argv) {
  std::vector<char*> words;
  for (const std::string& w : argv) words.push_back(const_cast<char*>(w.c_str()));
  words.push_back(nullptr);
  const auto start = std::chrono::steady_clock::now();
  const pid_t pid = fork();
  if (pid < 0) return -1;
  if (pid == 0) {
    const int null = open("/dev/null", O_WRONLY);
    dup2(null, 1);
    dup2(null, 2);
    execvp(words[0], words.data());
    _exit(127);
  }
  int status = 0;
  if (waitpid(pid, &status, 0) != pid) return -1;
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? seconds : -1;
}

// The median of `runs` timed runs of f (a callable returning seconds, or a
// negative value for a failed run, which ends the bench).
template <typename Timed>
double median_of(int runs, Timed f) {
  std::vector<double> times;
  for (int i = 0; i < runs; ++i) {
    const double t = f();
    if (t < 0) {
      std::fprintf(stderr, "bench: a timed run failed\n");
      std::exit(1);
    }
    times.push_back(t);
  }
  std::sort(times.begin(), times.end());
  return times[times.size() / 2];
}

inline double median_command_seconds(const std::vector<std::string>& argv, int runs) {
  return median_of(runs, [&] { return time_command(argv); });
}

}  // namespace bench

#endif
