#include "driver/input/input_edit.h"

#include <cerrno>
#include <utility>

#include "engine/scanner.h"
#include "lib/sjstr.h"

namespace tagpolish {

void say_unopened(const char* name, int error) {
    if (error == ENOENT || error == ENOTDIR)
        errmsg_why(error, "%s: not found\n", name);
    else
        errmsg_why(error, "%s: cannot open\n", name);
}

int check_input(const char* name, const InputInfo& info, bool rewrite) {
    if (info.read_error) {
        errmsg_why(info.read_errno, "%s: cannot read\n", name);
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

int changed_meanwhile(const char* name) {
    errmsg(msg_changed, name);
    return -1;
}

bool passes_over_utf8(const char* name, const InputInfo& info,
                      const std::optional<Utf8Settings>& to_utf8) {
    if (!to_utf8 || info.read_error || info.encoding.kind != Encoding::utf8) return false;
    errmsg("%s: already UTF-8; passed over\n", name);
    return true;
}

int check_lines(const char* name, const BlockLines& lines) {
    if (lines.read_errno() != 0) {
        errmsg_why(lines.read_errno(), "%s: cannot read\n", name);
        return -1;
    }
    return lines.changed() ? changed_meanwhile(name) : 0;
}

namespace {

bool ends_in(std::string_view name, std::string_view extension) {
    if (name.size() < extension.size()) return false;
    name.remove_prefix(name.size() - extension.size());
    for (std::size_t i = 0; i < name.size(); ++i)
        if (ascii_lower(static_cast<unsigned char>(name[i])) != extension[i]) return false;
    return true;
}

// A style sheet or a script is only converted: the walk reads markup.
Utf8Kind kind_of(std::string_view name) {
    return ends_in(name, ".css")  ? Utf8Kind::style_sheet
           : ends_in(name, ".js") ? Utf8Kind::script
                                  : Utf8Kind::page;
}

}  // namespace

void set_conversion(FdSink& sink, const char* name, const InputInfo& info,
                    const std::optional<Utf8Settings>& to_utf8, EditCounts& counts,
                    std::function<bool(std::string_view src)> script_converted) {
    if (!to_utf8) return;
    Utf8Settings how = *to_utf8;
    how.kind = kind_of(name);
    how.end_mark = info.eof_mark;
    if (script_converted) how.script_converted = std::move(script_converted);
    sink.convert_to_utf8(how, counts, static_cast<std::size_t>(info.text_size));
}

int walk_text(const TextEdits& edits, const char* name, LineSource& lines, OutputSink& sink,
              EditCounts& counts) {
    if (!edits.to_utf8 || kind_of(name) == Utf8Kind::page)
        return edit_html(edits.walk, name, lines, sink, &counts);
    for (std::string_view line = lines.next_line(); line.data() != nullptr;
         line = lines.next_line())
        sink.put_span(line);
    return 0;
}

bool finish_text(FdSink& sink, const char* name) {
    if (sink.finish()) return true;
    if (const Utf8Failure* bad = sink.conversion_failure())
        errmsg("%s: line %d, byte %d does not convert to UTF-8; not converted\n", name,
               static_cast<long long>(bad->line), static_cast<long long>(bad->byte));
    return false;
}

int edit_to_stdout(const TextEdits& edits, const char* name, int fd, const InputInfo& info,
                   InputBuffer& buf, int& why, EditCounts& counts, FileOps& ops) {
    BlockLines lines(fd, buf, info, ops);
    FdSink sink(1, info.line_end, stoppable_file_ops());
    sink.follow(lines);
    set_conversion(sink, name, info, edits.to_utf8, counts);
    int result = walk_text(edits, name, lines, sink, counts);
    if (result == 0 ? !finish_text(sink, name) : !sink.flush()) result |= -1;
    why = sink.error();
    return result | check_lines(name, lines);
}

}  // namespace tagpolish
