#include "support/file_rewrite.h"

#include <gtest/gtest.h>
#ifndef _WIN32
#include <sys/stat.h>
#include <sys/xattr.h>
#endif

#include <cstdint>
#include <memory>

#include "driver/input/output.h"
#include "driver/rewrite/rewrite_batch.h"
#include "support/test_support.h"

namespace tagpolish::test {
#ifndef _WIN32
namespace {

// An access ACL as the kernel keeps it: the owner may read and write, so
// may user 65534; the group may read; the mask allows reading and writing.
std::string acl_value() {
    std::string value;
    auto put = [&value](std::uint32_t v, int bytes) {
        for (int i = 0; i < bytes; ++i) value += static_cast<char>(v >> (8 * i) & 0xFF);
    };
    put(2, 4);  // version
    const std::uint32_t none = 0xFFFFFFFF;
    const std::uint32_t entries[][3] = {
        {0x01, 6, none}, {0x02, 6, 65534}, {0x04, 4, none}, {0x10, 6, none}, {0x20, 0, none}};
    for (const auto& e : entries) put(e[0], 2), put(e[1], 2), put(e[2], 4);
    return value;
}

}  // namespace

std::string dress_page(const std::string& path, bool with_acl,
                       [[maybe_unused]] AttributeStore* kept) {
    EXPECT_EQ(0, chmod(path.c_str(), dressed_mode));
    if (setxattr(path.c_str(), "user.note", "kept", 4, 0) != 0)
        return "no user attributes on this file system";
    const std::string value = acl_value();
    if (with_acl && setxattr(path.c_str(), acl, value.data(), value.size(), 0) != 0)
        return "no ACLs on this file system";
    return "";
}
#else
// Windows holds no permission bits but the read-only attribute, and no
// POSIX ACL; a user attribute is an alternate data stream.
std::string dress_page(const std::string& path, bool with_acl, AttributeStore* kept) {
    if (with_acl) return "no POSIX ACLs on Windows";
    if (kept == nullptr && !keeps_user_attributes(name_of(fs_path(path).parent_path())))
        return "no user attributes (alternate data streams) on this file system";
    if (!set_attribute_of(path, "user.note", "kept", kept) ||
        attribute_of(path, "user.note", kept) != "kept")
        return "no alternate data streams here";
    return "";
}
#endif

DressedPage::DressedPage(bool with_acl)
    : kept_in(unless_kept_in(dir.path(), store)),
      path(dir.write("page.htm", old_text)),
      unable(dress_page(path, with_acl, kept_in)) {}

std::string messages(const std::string& path, std::string why) {
    if (why.empty()) return why;
    if (auto at = why.find("PATH"); at != std::string::npos) why.replace(at, 4, path);
    return path + why;
}

std::pair<Fate, std::string> rewrite(const std::string& path, FileOps& ops,
                                     const RewriteSettings& how) {
    SystemFileOps system;
    RewriteInput in = open_to_rewrite({path.c_str()}, system);
    EXPECT_EQ(Fate::open, in.fate);
    const FileStat old = in.st;
    testing::internal::CaptureStderr();
    Fate result = Fate::done;
    {
        RewriteBatch batch([&](const FileRewrite&, Fate f) { result = f; }, ops);
        auto file = std::make_unique<FileRewrite>(path.c_str(), std::move(in), how, ops);
        file->prepare();
        FdSink sink(file->fd(), LineEnd::lf, ops);
        sink.put(new_text);
        sink.flush();
        result = fate_of(file->finish(sink.error(), old));
        if (result == Fate::done && !how.dry_run) batch.add(std::move(file));
        batch.commit();
    }
    std::string err = testing::internal::GetCapturedStderr();
    return {result, err};
}

}  // namespace tagpolish::test
