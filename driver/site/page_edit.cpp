#include "driver/site/page_edit.h"

#include <utility>

#include "driver/input/output.h"
#include "driver/rewrite/backup_record.h"
#include "driver/rewrite/file_id.h"
#include "engine/scanner.h"
#include "lib/diag.h"
#include "lib/sjstr.h"
#include "platform/run_stop.h"

namespace tagpolish {

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

namespace {

// Reports a file that another program wrote while this one read it.
int changed_meanwhile(const char* name) {
    errmsg(msg_changed, name);
    return -1;
}

Fate failed(const Page& page) {
    errmsg("%s: failed to convert\n", page.name.c_str());
    return Fate::failed;
}

// A page refused for its markup, which was read whole and is left as it is.
Fate refused(const Page& page) {
    errmsg("%s: not edited (markup error)\n", page.name.c_str());
    return Fate::failed;
}

}  // namespace

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

// Sets sink to convert the text of the input name, if it is to be. The
// walk never sees an end-of-file mark; the converted text keeps it.
void set_conversion(FdSink& sink, const char* name, const InputInfo& info,
                    const std::optional<Utf8Settings>& to_utf8, EditCounts& counts,
                    ConvertedScripts* scripts = nullptr) {
    if (!to_utf8) return;
    Utf8Settings how = *to_utf8;
    how.kind = kind_of(name);
    how.end_mark = info.eof_mark;
    if (scripts != nullptr)
        how.script_converted = [scripts, name](std::string_view src) {
            return scripts->converts(name, src);
        };
    sink.convert_to_utf8(how, counts, static_cast<std::size_t>(info.text_size));
}

// Walks the lines of the input into sink, or, for a style sheet or a
// script that is only converted, hands them on as they are.
int walk_text(const TextEdits& edits, const char* name, LineSource& lines, OutputSink& sink,
              EditCounts& counts) {
    if (!edits.to_utf8 || kind_of(name) == Utf8Kind::page)
        return edit_html(edits.walk, name, lines, sink, &counts);
    for (std::string_view line = lines.next_line(); line.data() != nullptr;
         line = lines.next_line())
        sink.put_span(line);
    return 0;
}

// Ends the text in sink once it was walked; false, said for name, when it
// does not convert.
bool finish_text(FdSink& sink, const char* name) {
    if (sink.finish()) return true;
    if (const Utf8Failure* bad = sink.conversion_failure())
        errmsg("%s: line %d, byte %d does not convert to UTF-8; not converted\n", name,
               static_cast<long long>(bad->line), static_cast<long long>(bad->byte));
    return false;
}

}  // namespace

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

namespace {

// Edits the checked input in (whose descriptor the rewrite takes over)
// into a new file, which is to replace the file when the text changed and
// the walk went through. A file whose text comes out unchanged is left
// alone, so it keeps its inode and times. Under a dry run no new file is
// made: the text is only compared. A stop abandons the input. With
// old_text (the hash of the old text), the new file gets the record of
// what it holds and what its backup will hold.
Fate edit_to_file(Page& page, RewriteInput&& in, const InputInfo& info, const TextHash* old_text,
                  PageWork& work) {
    const char* name = page.name.c_str();
    const int fd = in.fd;
    const FileStat st = in.st;
    auto file = std::make_unique<FileRewrite>(name, std::move(in), work.how, work.ops);
    file->prepare();
    BlockLines lines(fd, work.buf, info, work.ops);
    FdSink sink(file->fd(), info.line_end, work.ops);
    TextHash new_text;
    if (old_text != nullptr) sink.hash_into(&new_text);
    sink.follow(lines);
    set_conversion(sink, name, info, work.to_utf8, page.counts, work.scripts);
    sink.compare_with(fd, info);
    const int walked = walk_text({work.edits, work.to_utf8}, name, lines, sink, page.counts);
    const bool converted = walked == 0 && finish_text(sink, name);
    if (walked != 0) sink.flush();
    if (stop_requested()) return Fate::not_reached;
    const int read = check_lines(name, lines);
    // A markup error is the page's own only where its text was read whole.
    if (walked != 0) return read == 0 ? refused(page) : failed(page);
    if (!converted && sink.conversion_failure() != nullptr) return Fate::failed;
    // Read twice, the file must have held the same text both times; as it
    // is now, it is looked at again before it is replaced.
    FileStat now{};
    const bool same = work.ops.fstat(fd, &now) == 0 && unchanged(st, now);
    int result = read;
    if (result == 0 && !sink.unchanged() && !info.held && !same) result = changed_meanwhile(name);
    if (result != 0) return failed(page);
    if (sink.unchanged()) {
        if (same) page.left = file_id(work.ops, fd, now);
        return Fate::unchanged;
    }
    page.old = file_id(work.ops, fd, now);
    if (old_text != nullptr) file->keep_record({contents_of(new_text), contents_of(*old_text)});
    const Went went = file->finish(sink.error(), now);
    if (went == Went::on) page.file = std::move(file);
    return went == Went::failed ? failed(page) : fate_of(went);
}

}  // namespace

Fate edit_page(Page& page, PageWork& work) {
    const InputName input = page.input(work.follow_links);
    OpenHooks hooks = lock_waits(page, work.letting_go);
    if (work.backup_suffix != nullptr)
        hooks.pass_over = [&](const Target& target) {
            if (!is_backup_name(input, target, work.backup_suffix, work.ops)) return false;
            errmsg("%s: a backup (its name ends in %s); passed over\n", input.name,
                   work.backup_suffix);
            return true;
        };
    RewriteInput in = open_to_rewrite(input, work.ops, hooks);
    if (in.fate != Fate::open) return in.fate;
    page.seen = seen_as(work.ops, in.fd, in.st, in.target);
    // The old text of a page that gets a backup is hashed as it is read
    // for its checks, for the record of what the backup holds.
    const bool record = work.how.backup_suffix != nullptr && !work.how.dry_run;
    TextHash old_text;
    const InputInfo info =
        load_input(work.ops, in.fd, in.st, work.buf, record ? &old_text : nullptr);
    page.bytes = info.text_size;
    if (info.read_error && stop_requested()) {
        work.ops.close(in.fd);
        return Fate::not_reached;
    }
    if (passes_over_utf8(input.name, info, work.to_utf8)) {
        work.ops.close(in.fd);
        return Fate::passed_over;
    }
    if (check_input(input.name, info, true) != 0) {
        work.ops.close(in.fd);
        return failed(page);
    }
    return edit_to_file(page, std::move(in), info, record ? &old_text : nullptr, work);
}

}  // namespace tagpolish
