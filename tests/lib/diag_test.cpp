#include "lib/diag.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cfloat>
#include <cstring>
#include <set>
#include <string>

namespace tagpolish {
namespace {

// err_edit through a variadic front, without errmsg's format checking, so
// that conversions printf does not know can be tried.
const char* edit_raw(const char* fmt, ...) {
    va_list args;
    va_start(args, fmt);
    const char* text = err_edit(fmt, args);
    va_end(args);
    return text;
}

// The arguments go as errmsg passes them.
template <typename... Args>
std::string edit(const char* fmt, Args... args) {
    return edit_raw(fmt, msg_arg(args)...);
}

struct IntCase {
    const char* fmt;
    long long arg;
    const char* expected;
};

TEST(ErrEdit, ConvertsOneInt) {
    const IntCase cases[] = {
        {"%c: unknown option\n", 'x', "x: unknown option\n"},
        {"line %d.", 12, "line 12."},
        {"%d", -42, "-42"},
        {"%d", -2147483647 - 1, "-2147483648"},
        {"line %d.", 4294967296LL + 5, "line 4294967301."},  // a line count past 2^32
        {"%x", 255, "ff"},
        {"%x", -1, "ffffffff"},
        {"[%c]", 0x182, "[\x82]"},  // only the low byte
    };
    for (const IntCase& c : cases) {
        EXPECT_EQ(c.expected, edit(c.fmt, c.arg)) << c.fmt << " " << c.arg;
    }
}

TEST(ErrEdit, ConvertsDoubleAndString) {
    EXPECT_EQ("1.500000 K", edit("%f K", 1.5));
    EXPECT_EQ("a.htm: failed", edit("%s: failed", "a.htm"));
    EXPECT_EQ("a=1 b=2.250000 c=q d=z", edit("a=%d b=%f c=%s d=%c", 1, 2.25, "q", 'z'));
}

TEST(ErrEdit, UnknownConversionIsCopiedAndTakesNoArgument) {
    // The argument is left for the next real conversion.
    EXPECT_EQ("%5d 7", edit("%5d %d", 7));
    EXPECT_EQ("%ld %-s %S 7", edit("%ld %-s %S %d", 7));
    EXPECT_EQ("100%% done", edit("100%% done"));
    EXPECT_EQ("rate 9%", edit("rate %d%", 9));
}

TEST(ErrEdit, LonePercentAtTheEndStopsThere) {
    edit_raw("zzzzzzzz");  // leaves bytes behind the next, shorter text
    const char fmt[] = "ab%\0XY";
    const char* text = edit_raw(fmt);
    EXPECT_EQ(std::string("ab%\0z", 5), std::string(text, 5));
}

TEST(ErrEdit, LongLineIsCutSoTheTailFits) {
    const std::string line(2000, 'L');
    const std::string tail = "\n ... '<' does not close.\n";
    const std::string text =
        edit("%s:%d: %s\n ... '<' does not close.\n", "a.htm", 12, line.c_str());
    EXPECT_EQ("a.htm:12: " + std::string(758, 'L') + tail, text);
    EXPECT_EQ(768 + tail.size(), text.size());
}

TEST(ErrEdit, LineThatFitsIsKeptWhole) {
    const std::string line(500, 'L');
    EXPECT_EQ("a.htm:12: " + line + "!", edit("%s:%d: %s!", "a.htm", 12, line.c_str()));
}

// err_edit with page text as argument 2 (from 0), shown in view.
const char* edit_page(PageView view, const char* fmt, ...) {
    va_list args;
    va_start(args, fmt);
    const char* text = err_edit(fmt, args, page_args_of<const char*, int, PageText>(), view);
    va_end(args);
    return text;
}

std::string times(int n, const std::string& unit) {
    std::string s;
    for (int i = 0; i < n; ++i) s += unit;
    return s;
}

// On a UTF-8 terminal the quoted line is cut where the bytes would be, but
// between characters, and then shown as UTF-8; the file name never is.
TEST(ErrEdit, PageTextIsCutBetweenCharactersAndThenShownAsUtf8) {
    const std::string name = "\x95\x5C.htm";  // a file name in Shift_JIS
    const std::string fmt = "%s:%d: %s\n ... '<' does not close.\n";
    const std::string head = name + ":12: ", tail = "\n ... '<' does not close.\n";
    const std::string hon = "\x96\x7B", hon_utf8 = "\xE6\x9C\xAC";  // 本
    // The long line fills the message past its limit: cut back to 768
    // bytes, it keeps 757 of its own, the last of them a lead byte.
    const std::string long_line = "aa" + times(600, hon) + "\n";
    const struct {
        std::string line;
        std::string bytes;  // as the page has them
        std::string utf8;
    } cases[] = {
        {"<p>" + hon + "\x1B\r\n", "<p>" + hon + "\x1B\r\n", "<p>" + hon_utf8 + "\\x1B\\x0D\n"},
        {long_line, "aa" + times(377, hon) + "\x96", "aa" + times(377, hon_utf8)},
    };
    for (const auto& c : cases) {
        const char* line = c.line.c_str();
        EXPECT_EQ(head + c.bytes + tail,
                  edit_page(PageView::bytes, fmt.c_str(), name.c_str(), 12LL, line));
        EXPECT_EQ(head + c.utf8 + tail,
                  edit_page(PageView::utf8, fmt.c_str(), name.c_str(), 12LL, line));
    }
}

TEST(ErrEdit, StringFillingTheLimitEndsExpansion) {
    const std::string s(1022, 's');
    EXPECT_EQ("ab" + s, edit("ab%s rest %d", s.c_str(), 5));
    // One byte more no longer fits and is cut back.
    const std::string t(1023, 't');
    EXPECT_EQ("ab" + std::string(766, 't') + " rest 5", edit("ab%s rest %d", t.c_str(), 5));
}

TEST(ErrEdit, StringThatDoesNotFitPastTheCutAddsNothing) {
    const std::string first(800, 'f');
    const std::string second(300, 's');
    EXPECT_EQ(first + "||", edit("%s|%s|", first.c_str(), second.c_str()));
}

TEST(ErrEdit, PlainBytesStopAtTheLimit) {
    const std::string fmt = std::string(2000, 'p') + "%d";
    EXPECT_EQ(std::string(1024, 'p'), edit(fmt.c_str(), 1));
}

TEST(ErrEdit, ConversionStartedBelowTheLimitIsCompleted) {
    const std::string s(1020, 's');
    EXPECT_EQ(s + "-123456789", edit("%s%d tail", s.c_str(), -123456789));
    // The widest conversion there is must fit in the buffer too.
    const std::string t(1023, 't');
    const std::string text = edit("%s%f tail", t.c_str(), -DBL_MAX);
    EXPECT_EQ(1023 + 1 + 309 + 7, text.size());
    EXPECT_EQ(".000000", text.substr(text.size() - 7));
}

TEST(ErrMsg, WritesExactlyTheText) {
    testing::internal::CaptureStderr();
    errmsg("cannot get memory\n");
    EXPECT_EQ("cannot get memory\n", testing::internal::GetCapturedStderr());

    testing::internal::CaptureStderr();
    errmsg("%s: failed to convert\n", "50%d.htm");
    EXPECT_EQ("50%d.htm: failed to convert\n", testing::internal::GetCapturedStderr());
}

TEST(ErrMsg, ReasonFollowsOnALineOfItsOwn) {
    testing::internal::CaptureStderr();
    errmsg_why(ENOSPC, "%s: failed to rewrite\n", "a.htm");
    errmsg_why(0, "%s: failed to convert\n", "a.htm");
    EXPECT_EQ("a.htm: failed to rewrite\n  No space left on device\na.htm: failed to convert\n",
              testing::internal::GetCapturedStderr());
}

// The program's own words for the errors it meets are glibc's, so that
// its messages read as they always have on Linux and the same elsewhere,
// and they cover every error its file calls report; any other error still
// gets the system's words.
TEST(ErrMsg, OwnReasonsAreGlibcsWordsForTheErrorsTheProgramMeets) {
    std::set<int> seen;
    for (const ErrorReason& r : error_reasons()) {
        EXPECT_TRUE(seen.insert(r.errnum).second) << "twice: " << r.text;
#ifdef __GLIBC__
        EXPECT_STREQ(std::strerror(r.errnum), r.text);
#endif
    }
    for (int e : {ENOENT,    EACCES, EISDIR,      ENOSPC,  EPIPE,  EBADF, EIO,    ENOMEM,
                  EROFS,     EEXIST, ENOTDIR,     ELOOP,   EINVAL, EFBIG, EMFILE, ENAMETOOLONG,
                  ECANCELED, EAGAIN, EWOULDBLOCK, ETXTBSY, EPERM,  EXDEV, EINTR})
        EXPECT_EQ(1u, seen.count(e)) << std::strerror(e);
#ifdef EDQUOT
    EXPECT_EQ(1u, seen.count(EDQUOT));
#endif

    constexpr int other = EHOSTUNREACH;
    ASSERT_EQ(0u, seen.count(other));
    testing::internal::CaptureStderr();
    errmsg_why(other, "a.htm: failed\n");
    EXPECT_EQ(std::string("a.htm: failed\n  ") + std::strerror(other) + "\n",
              testing::internal::GetCapturedStderr());
}

// A format passes only with the conversions err_edit implements, one
// argument of the fitting kind for each; errmsg does not compile otherwise.
static_assert(msg_format_ok<>("cannot get memory\n"));
static_assert(msg_format_ok<char>("%c: unknown option\n"));
static_assert(msg_format_ok<const char*, int, char*>("%s:%d: %s\n"));
static_assert(msg_format_ok<unsigned char, short, bool>("%c %x %d"));
static_assert(msg_format_ok<double, float>("%f %f"));
static_assert(!msg_format_ok<long>("%ld"));
static_assert(!msg_format_ok<unsigned>("%u"));
static_assert(msg_format_ok<long long, unsigned>("%d %d"));
static_assert(!msg_format_ok<unsigned long long>("%d"));
static_assert(!msg_format_ok<unsigned>("%x"));
static_assert(!msg_format_ok<long long>("%c"));
static_assert(msg_format_ok<const char*, PageText>("%s %s"));
static_assert(!msg_format_ok<PageText>("%d"));
static_assert(page_args_of<const char*, long, PageText, PageText>() == 0b1100);
static_assert(!msg_format_ok<int>("%5d"));
static_assert(!msg_format_ok<>("100%% done"));
static_assert(!msg_format_ok<>("ends in %"));
static_assert(!msg_format_ok<const char*>("%d"));
static_assert(!msg_format_ok<int>("%s"));
static_assert(!msg_format_ok<int>("%f"));
static_assert(!msg_format_ok<const char*>("no conversion"));
static_assert(!msg_format_ok<>("%s"));
static_assert(!msg_format_ok<int, int>("%d"));

TEST(ErrMsg, FormatWithoutPercentIsNotCut) {
    const std::string fmt(3000, 'n');
    testing::internal::CaptureStderr();
    errmsg("%s", fmt.c_str());
    put_msg(0, 0, fmt.c_str());
    const std::string out = testing::internal::GetCapturedStderr();
    EXPECT_EQ(std::string(768, 'n') + fmt, out);
}

}  // namespace
}  // namespace tagpolish
