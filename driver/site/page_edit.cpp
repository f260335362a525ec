#include "driver/site/page_edit.h"

#include <utility>

#include "driver/rewrite/backup_record.h"
#include "driver/rewrite/file_id.h"
#include "lib/diag.h"
#include "platform/run_stop.h"

namespace tagpolish {

namespace {

Fate failed(const Page& page) {
    errmsg("%s: failed to convert\n", page.name.c_str());
    return Fate::failed;
}

// A page refused for its markup, which was read whole and is left as it is.
Fate refused(const Page& page) {
    errmsg("%s: not edited (markup error)\n", page.name.c_str());
    return Fate::failed;
}

// Which scripts are converted with the page name, under --to-utf8.
std::function<bool(std::string_view src)> scripts_converted(ConvertedScripts* scripts,
                                                            const char* name) {
    if (scripts == nullptr) return {};
    return [scripts, name](std::string_view src) { return scripts->converts(name, src); };
}

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
    set_conversion(sink, name, info, work.to_utf8, page.counts,
                   scripts_converted(work.scripts, name));
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
