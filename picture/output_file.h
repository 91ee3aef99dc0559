// A file the programs write (pictures, streams, traces, dumps), whole or not
// at all.  A regular file, or a name that does not exist yet, is written to a
// temporary file beside it and renamed over the name when complete: a failure
// or a signal keeps the old contents.  Any other path (a device, a FIFO) is
// written directly and never removed: only what the program created is.
#pragma once

#include <cstdio>
#include <string>

namespace kova::picture {

class OutputFile {
  public:
    OutputFile() = default;
    OutputFile(const OutputFile &) = delete;
    OutputFile &operator=(const OutputFile &) = delete;
    ~OutputFile() { discard(); }

    // Opens the file for writing; false with `error` set ("cannot write PATH: ...").
    bool open(const std::string &path, std::string &error);
    std::FILE *get() const { return file_; }
    const std::string &path() const { return path_; }
    // True when the data go to a temporary that replaces the path (a regular file).
    bool replaces() const { return temp_[0] != '\0'; }

    // Flushes and closes the file and puts it in place; false with `error`
    // set, the old file kept.
    bool commit(std::string &error);
    // Closes the file; the temporary is removed, the path left as it was.
    void discard();

  private:
    std::FILE *file_ = nullptr;
    std::string path_;
    std::string target_;   // the file replaced: the path, or the file a link at the path names
    char temp_[4096] = {}; // the temporary's name; empty when writing the path itself
};

// Removes the temporaries of every output file still open.  Only
// async-signal-safe calls: for a handler of a signal that ends the program.
void remove_unfinished_outputs();

// SIGINT, SIGTERM and SIGHUP remove the unfinished temporaries, then take
// their usual effect.
void remove_unfinished_outputs_on_signal();

} // namespace kova::picture
