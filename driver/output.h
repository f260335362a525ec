// Where finished lines go: standard output, or a list written back over the
// file under -w.
#pragma once

#include <string>
#include <string_view>

#include "driver/file_ops.h"
#include "driver/line_end.h"
#include "engine/line_io.h"
#include "lib/namelist.h"

namespace tagpolish {

// Writes items to a file descriptor through a buffer, turning each "\n"
// into the input's own line end. Remembers a failed write.
class FdSink : public OutputSink {
public:
    FdSink(int fd, LineEnd line_end, FileOps& ops = system_file_ops());
    ~FdSink() override;
    void put(std::string_view item) override;
    bool flush() override;
    // The errno of the first failed write, or 0.
    int error() const { return error_; }

private:
    void write_out(const char* p, std::size_t n);
    bool write_all(const char* p, std::size_t n);
    int fd_;
    std::string_view newline_;  // what each "\n" is written as
    FileOps& ops_;
    int error_ = 0;
    std::string buf_;
};

// Keeps items in a name list (out_list under -w).
class ListSink : public OutputSink {
public:
    explicit ListSink(NameList& list) : list_(list) {}
    void put(std::string_view item) override;

private:
    NameList& list_;
};

// Keeps items in one string (tests, fuzzing).
class StringSink : public OutputSink {
public:
    void put(std::string_view item) override { text.append(item); }
    std::string text;
};

}  // namespace tagpolish
