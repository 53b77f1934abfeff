// A pacifier for long work (an image copy, a large file written into the
// image, a walk over every file): a percentage or a count written on stderr
// after whatever the line already shows, and erased again before anything
// else is printed, so that the line reads as it would without it. It is
// shown only when stderr is a terminal: scripts and pipes see exactly the
// output they would see without it.
#ifndef TALVO_UTIL_PROGRESS_H
#define TALVO_UTIL_PROGRESS_H

#include <unistd.h>

#include <cstdio>
#include <string>

namespace talvo {

class Progress {
 public:
  // A percentage of total; with total 0 a count followed by unit.
  explicit Progress(unsigned long long total, const char* unit = "")
      : total_(total), unit_(unit), shown_(isatty(STDERR_FILENO) == 1) {}
  ~Progress() { Clear(); }
  Progress(const Progress&) = delete;
  Progress& operator=(const Progress&) = delete;

  bool shown() const { return shown_; }

  // Shows done (of total); nothing is written while the text stays the same.
  void Update(unsigned long long done) {
    if (!shown_) return;
    std::string text = total_ ? std::to_string(done >= total_ ? 100 : done * 100 / total_) + "%"
                              : std::to_string(done) + " " + unit_;
    if (text == text_) return;
    Clear();
    text_ = text;
    std::fputs(text_.c_str(), stderr);
  }

  // Erases what Update wrote: backspaces, blanks over it, backspaces again.
  void Clear() {
    if (text_.empty()) return;
    std::string back(text_.size(), '\b');
    std::fputs((back + std::string(text_.size(), ' ') + back).c_str(), stderr);
    text_.clear();
  }

 private:
  unsigned long long total_;
  const char* unit_;
  bool shown_;
  std::string text_;
};

}  // namespace talvo

#endif
