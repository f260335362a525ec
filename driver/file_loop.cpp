#include "driver/file_loop.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>

#include "driver/edited_files.h"
#include "driver/line_source.h"
#include "driver/options.h"
#include "driver/output.h"
#include "engine/scanner.h"
#include "lib/diag.h"
#include "lib/namelist.h"
#include "platform/free_space.h"

namespace tagpolish {
namespace {

// Refuses an input that cannot be edited safely. Returns 0 when it may be.
int check_input(const char* name, const InputInfo& info, bool rewrite) {
    if (info.read_error) {
        errmsg("%s: cannot read\n", name);
        return -1;
    }
    if (info.nul_line) {
        errmsg("%s:%d: NUL byte in the text\n", name, info.nul_line);
        return -1;
    }
    if (refuse_encoding(name, info.encoding) != 0) return -1;
    if (rewrite && info.text_after_eof) {
        // Rewriting would drop everything after the mark from the file.
        errmsg("%s: text after end-of-file mark (0x1A)\n", name);
        return -1;
    }
    return 0;
}

// Whether two lists hold the same bytes, however they are cut into entries.
bool same_text(const NameList& a, const NameList& b) {
    int ia = 0, ib = 0, na = name_count(a), nb = name_count(b);
    std::string_view ta, tb;
    for (;;) {
        while (ta.empty() && ia < na) ta = get_entry(a, ia++);
        while (tb.empty() && ib < nb) tb = get_entry(b, ib++);
        if (ta.empty() || tb.empty()) return ta.empty() && tb.empty();
        std::size_t n = std::min(ta.size(), tb.size());
        if (ta.substr(0, n) != tb.substr(0, n)) return false;
        ta.remove_prefix(n);
        tb.remove_prefix(n);
    }
}

// Edits the loaded input and writes it back over the file. A file whose
// text comes out unchanged is left alone, so it keeps its inode and times.
int edit_to_file(const char* name, const InputInfo& info) {
    NameList out_list;
    name_init(out_list);
    ListSink sink(out_list);
    int error_line = 0;
    int result = edit_html(name, error_line, sink);
    if (result == 0 && !(info.lossless && same_text(out_list, input_lines)))
        rewrite_file(name, out_list, info.line_end);
    del_allname(out_list);
    return result;
}

int edit_to_stdout(const char* name, const InputInfo& info) {
    FdSink sink(1, info.line_end);
    int error_line = 0;
    int result = edit_html(name, error_line, sink);
    if (!sink.flush()) result |= -1;
    return result;
}

// Opens, loads, edits and closes one input. Returns 0 when it succeeded.
int edit_input(const char* name, bool is_stdin, EditedFiles& edited) {
    int fd = is_stdin ? 0 : open(name, O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        errmsg("%s: not found\n", name);
        return 1;
    }
    bool rewrite = opt_w && !is_stdin;
    if (rewrite && edited.passed_over(fd, name)) {
        close(fd);
        return 0;
    }
    InputInfo info = load_lines(fd);
    int result = check_input(name, info, rewrite);
    if (result == 0) result = rewrite ? edit_to_file(name, info) : edit_to_stdout(name, info);
    if (rewrite && result == 0) edited.note(name);
    get_line(-1, 0);
    if (is_stdin || rewrite)
        close(fd);
    else
        result |= Fclose(fd, name);
    if (result != 0) errmsg("%s: failed to convert\n", name);
    return result != 0;
}

}  // namespace

int Fclose(int fd, const char* name) {
    int closed = close(fd);
    if (closed != 0) return closed;
    if (getFreeSpace(name) > 0) return 0;
    if (name[0] && name[1] == ':')
        errmsg("%c drive: no free disk space\n", name[0]);
    else
        errmsg("no free disk space\n");
    return -1;
}

int run_files(int first, int argc, char** argv) {
    name_lst_dup_check = 0;
    EditedFiles edited;
    if (first >= argc) return edit_input("stdin", true, edited);
    int status = 0;
    for (int i = first; i < argc; ++i) status |= edit_input(argv[i], false, edited);
    return status;
}

}  // namespace tagpolish
