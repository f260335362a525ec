#include "driver/command_line/options.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "support/test_support.h"

namespace tagpolish {
namespace {

using test::run_tool;

// The help text as it reads on screen, one entry per line.
const char* const usage_text[] = {
    "HTMLソース(SJIS)を編集します。",
    "ただし、\"…\"の中やコメントの中(<!-- … -->)は編集しません。",
    " ",
    "Usage: tagpolish [-acijknrsuw] [-d:abcfhilos] <htmlfiles>",
    " ",
    "Parameter:",
    "  -acijknrsuw:",
    "    a   全角の英字を半角にします。",
    "    c   タグ内の小文字(a～z)を大文字(A～Z)にします。",
    "        ただし、\"…\"の中はそのままになります。",
    "    i   タグ括弧エラー(括弧が閉じられていない等)を無視します。",
    "    j   最後が'>'で終わっていない行を結合します。",
    "        ただし、<PRE>...</PRE>の中は除外します。",
    "        また、行頭が\"<P>...\"という場合には、直前の行に改行コードを付加します。",
    "    k   半角カナを全角のカナに変更します",
    "    n   全角の数字を半角にします。",
    "    u   リンクやイメージデータを全て同じディレクトリ内の参照にします。",
    "    s   リンク内の大文字を小文字にします。",
    "        ただし、\"…\"の中はそのままになります。",
    "    w   元のファイルに上書きします。",
    "        これはコピーしたファイルに対して行うことをお勧めします。",
    "    r   -wと共に、指定したフォルダとその下のフォルダのHTML文書を編集します。",
    " ",
    "  -d:abcfhilos:",
    "    a   リンクタグを外します。",
    "    b   タグ内のbgcolor指定を外します。",
    "    c   コメント（<!-- ... -->)の記述を削除します。",
    "    f   フォントタグを外します。",
    "    h   タグ内のcharsetオプションを外します。",
    "    i   イメージタグを外します。",
    "    l   TABLEタグのalign指定を削除します。",
    "    o   bgsoundタグを外します。",
    "    s   フォントタグのsize指定を外します。",
    " ",
    "  <htmlfiles>",
    "        HTML文書ファイル",
    " ",
    "  --help",
    "        全オプションの説明を英語で表示します。",
    " ",
    "Version: 1.44",
};

std::size_t count_of(const std::string& text, const std::string& part) {
    std::size_t n = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++n;
    return n;
}

// The arguments as typed, for failure messages.
std::string joined(const std::vector<std::string>& args) {
    std::string shown;
    for (const std::string& a : args) shown += (shown.empty() ? "" : " ") + a;
    return shown;
}

TEST(OptionsTool, UsageAlonePrintsTheHelpText) {
    std::string expected;
    for (const char* line : usage_text) expected += std::string(line) + "\n";

    test::RunResult r = run_tool({"-usage"});

    EXPECT_EQ(0, r.status);
    EXPECT_EQ(expected, test::utf8(r.out));
    EXPECT_EQ("", r.err);
    // The help text is cp932, where these two have their own byte pairs.
    EXPECT_EQ(4u, count_of(r.out, "\x81\x63")) << "horizontal ellipsis";
    EXPECT_EQ(2u, count_of(r.out, "\x81\x60")) << "full-width tilde";
    EXPECT_EQ(41u, count_of(r.out, "\n"));
}

TEST(OptionsTool, NoArgumentPrintsTheUsageLineAndFails) {
    test::RunResult r = run_tool({}, "<p>not to be read</p>\n");

    EXPECT_EQ(1, r.status);
    EXPECT_EQ("Usage: tagpolish [-acijknrsuw] [-d:abcfhilos] <htmlfiles>\n", r.out);
    EXPECT_EQ("", r.err);
}

// Help that cannot be written fails; so does the usage line, with the
// reason.
TEST(OptionsTool, UnwritableStandardOutputFails) {
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"-usage"}, {}, {"--help"}, {"-w", "--version"}}) {
        test::ChildSetup setup;
        setup.stdout_path = "/dev/full";
        test::RunResult r = test::run_tool_in("/", args, setup);
        EXPECT_EQ(1, r.status) << joined(args);
        EXPECT_EQ("standard output: cannot write\n  No space left on device\n", r.err)
            << joined(args);
    }
}

TEST(OptionsTool, UnknownLetterIsReportedAndEndsTheRun) {
    struct Case {
        std::vector<std::string> args;
        std::string err;
    };
    const Case cases[] = {
        {{"-x"}, "x: unknown option\n"},
        {{"-d:z"}, "z: unknown -d option\n"},
        {{"-d:abz"}, "z: unknown -d option\n"},
        // Only "-usage" alone asks for help; otherwise it is a cluster u, s, a, g.
        {{"-usage", "foo"}, "g: unknown option\n"},
        {{"-Usage"}, "U: unknown option\n"},
        {{"-usage2"}, "g: unknown option\n"},
        {{"-d"}, "d: unknown option\n"},
        {{"-ad:c"}, "d: unknown option\n"},
        {{"-D:a"}, "D: unknown option\n"},
        {{"-d:A"}, "A: unknown -d option\n"},
        // A bad cluster after good ones still stops before the files.
        {{"-a", "-d:c", "-wq", "a.htm"}, "q: unknown option\n"},
        // Delete letters are not plain letters and the other way round.
        {{"-b"}, "b: unknown option\n"},
        {{"-d:w"}, "w: unknown -d option\n"},
    };
    for (const Case& c : cases) {
        test::RunResult r = run_tool(c.args);
        std::string shown = joined(c.args);
        EXPECT_EQ(1, r.status) << shown;
        EXPECT_EQ(c.err, r.err) << shown;
        EXPECT_EQ("", r.out) << shown;
    }
}

// --help and --version act wherever they stand among the options, unless
// an option before them is refused first.
TEST(OptionsTool, HelpAndVersion) {
    const std::string version = "tagpolish " TAGPOLISH_VERSION "\n";
    const struct {
        std::vector<std::string> args;
        bool help;
    } cases[] = {
        {{"--help"}, true},
        {{"-w", "--list", "--help", "page.htm"}, true},
        {{"--help", "--bogus"}, true},
        {{"--version"}, false},
        {{"-akn", "-d:cf", "--version", "--help"}, false},
    };
    for (const auto& c : cases) {
        test::RunResult r = run_tool(c.args);
        const std::string shown = joined(c.args);
        EXPECT_EQ(0, r.status) << shown;
        EXPECT_EQ("", r.err) << shown;
        if (!c.help) {
            EXPECT_EQ(version, r.out) << shown;
            continue;
        }
        std::string expected;
        for (const std::string& line : help_lines()) expected += line + "\n";
        EXPECT_EQ(expected, r.out) << shown;
    }
    // One English line per option, for an 80-column terminal.
    for (const std::string& line : help_lines()) {
        EXPECT_GT(80u, line.size()) << line;
        for (char c : line) EXPECT_TRUE(c >= ' ' && c <= '~') << line;
    }
}

// Long options are refused whole, and those for -w without it, before any
// file is touched.
TEST(OptionsTool, RefusedLongOptionsTouchNoFile) {
    struct Case {
        std::vector<std::string> args;
        std::string err;
    };
    std::vector<Case> cases = {
        {{"--bogus"}, "--bogus: unknown option\n"},
        {{"---"}, "---: unknown option\n"},
        {{"-w", "--help=x"}, "--help=x: unknown option\n"},
        {{"-w", "--dry-run=yes"}, "--dry-run=yes: unknown option\n"},
        {{"-w", "--Dry-run"}, "--Dry-run: unknown option\n"},
        {{"-w", "--backups"}, "--backups: unknown option\n"},
        {{"-w", "--dry"}, "--dry: unknown option\n"},
        {{"-x", "--help"}, "x: unknown option\n"},
        {{"-w", "--backup="}, "--backup=: the backup suffix is empty\n"},
        {{"-w", "--backup=old/"}, "--backup=old/: a backup suffix cannot hold \"/\"\n"},
        // x.htm and x.html: a page would be taken for another's backup.
        {{"-w", "--backup=l"}, "--backup: a page's name may end in this suffix\n"},
        {{"-w", "--restore=.HTML"}, "--restore: a page's name may end in this suffix\n"},
        {{"-w", "-r", "--include=*.txt", "--remove-backups=.txt"},
         "--remove-backups: a page's name may end in this suffix\n"},
        {{"--list"}, "--list: needs -w\n"},
        {{"--null"}, "--null: needs -w\n"},
        {{"-a", "--dry-run", "--list"}, "--dry-run: needs -w\n"},
        {{"--backup=.bak", "-k"}, "--backup=.bak: needs -w\n"},
        {{"-w", "--null"}, "--null: needs --list, --report or --dry-run\n"},
        {{"-w", "--null", "--backup"}, "--null: needs --list, --report or --dry-run\n"},
        {{"--flatten-offsite"}, "--flatten-offsite: needs -u\n"},
        {{"-w", "-j", "--flatten-offsite"}, "--flatten-offsite: needs -u\n"},
        // After the first file name, -w is refused before the other checks.
        {{"--list", "page.htm", "-w"},
         "-w: an option after the file names; put the options first, or write -- before a file "
         "of that name\n"},
    };
    // Restoring edits nothing: every option that edits is refused with it.
    for (const OptionRow& row : option_rows)
        if (row.role == OptionRole::edit)
            cases.push_back({{"-w", "--restore", row.name},
                             "--restore: edits nothing: not with edit letters, --backup or "
                             "--report\n"});
    for (const auto& c : cases) {
        test::TempDir dir;
        const std::string page = test::sjis("<FONT SIZE=3>ＡＢＣ</FONT>\n");
        dir.write("page.htm", page);
        std::vector<std::string> args = c.args;
        if (args.back() != "-w") args.push_back("page.htm");
        test::RunResult r = test::run_tool_in(dir.path(), args);
        const std::string shown = joined(args);
        EXPECT_EQ(1, r.status) << shown;
        EXPECT_EQ(c.err, r.err) << shown;
        EXPECT_EQ("", r.out) << shown;
        EXPECT_EQ(page, test::read_file(dir.path() + "/page.htm")) << shown;
        EXPECT_EQ(std::vector<std::string>{"page.htm"}, dir.entries()) << shown;
    }
}

// After "--" every argument is a file name, even one that begins with "-".
TEST(OptionsTool, DoubleHyphenEndsTheOptions) {
    test::TempDir dir;
    dir.write("-new.htm", test::sjis("１\n"));
    dir.write("--help", test::sjis("２\n"));
    test::RunResult r = test::run_tool_in(dir.path(), {"-n", "--", "-new.htm", "--help"});
    EXPECT_EQ(0, r.status);
    EXPECT_EQ("", r.err);
    EXPECT_EQ("1\n2\n", r.out);
}

// After the first file name, an argument written as an option ends the run
// before any file is touched; "--" in front of it makes it a name. Any
// other argument that begins with "-" is a name anyway.
TEST(OptionsTool, OptionAfterTheFileNamesEndsTheRun) {
    const struct {
        const char* arg;
        bool refused;
    } cases[] = {
        {"--dry-run", true}, {"--backup", true},  {"--backup=.bak", true},
        {"--jobs=3", true},  {"--jobs=x", true},  {"--list=yes", true},
        {"--help", true},    {"--version", true}, {"--include=*.htm", true},
        {"-usage", true},    {"-w", true},        {"-akn", true},
        {"-r", true},        {"-d:f", true},      {"-d:abc", true},
        {"-", false},        {"-x", false},       {"-ax", false},
        {"-d:", false},      {"-d:fz", false},    {"--dryrun", false},
        {"--dry", false},    {"---", false},      {"-usage2", false},
    };
    const std::string page = test::sjis("<font>ア</font>\n");
    for (const auto& c : cases) {
        SCOPED_TRACE(c.arg);
        test::TempDir dir;
        dir.write("page.htm", page);
        dir.write(c.arg, page);
        const std::vector<std::string> entries = dir.entries();
        const std::string refusal = std::string(c.arg) +
                                    ": an option after the file names; put the options first, or "
                                    "write -- before a file of that name\n";

        const test::RunResult late =
            test::run_tool_in(dir.path(), {"-w", "-d:f", "page.htm", c.arg});
        EXPECT_EQ(c.refused ? 1 : 0, late.status);
        EXPECT_EQ(c.refused ? refusal : "", late.err);
        EXPECT_EQ(c.refused ? page : test::sjis("ア\n"), test::read_file(dir.path() + "/page.htm"));
        EXPECT_EQ(entries, dir.entries());
        if (!c.refused) continue;
        // "--" before the names, or among them before this one.
        for (const std::vector<std::string>& args :
             {std::vector<std::string>{"-w", "-d:f", "--", "page.htm", c.arg},
              {"-w", "-d:f", "page.htm", "--", c.arg}}) {
            dir.write("page.htm", page);
            dir.write(c.arg, page);
            const test::RunResult named = test::run_tool_in(dir.path(), args);
            EXPECT_EQ(0, named.status) << joined(args);
            EXPECT_EQ("", named.err) << joined(args);
            EXPECT_EQ(test::sjis("ア\n"), test::read_file(dir.path() + "/" + c.arg))
                << joined(args);
            EXPECT_EQ(test::sjis("ア\n"), test::read_file(dir.path() + "/page.htm"))
                << joined(args);
        }
    }
}

TEST(OptionsTool, UnknownOptionLeavesTheFileUntouched) {
    test::TempDir dir;
    const std::string page = test::sjis("<FONT SIZE=3>ＡＢＣ</FONT>\n");
    std::string path = dir.write("page.htm", page);

    test::RunResult r = run_tool({"-wa", "-d:fx", path});

    EXPECT_EQ(1, r.status);
    EXPECT_EQ("x: unknown -d option\n", r.err);
    EXPECT_EQ(page, test::read_file(path));
}

// Every option that is set, as the table of options names it, with a
// value other than 1, e.g. "-u=4 --list --backup=.orig -d:c". An option
// that shares its flag with one before it (--recursive) is not shown again.
std::string set_flags() {
    std::string shown;
    std::set<const int*> seen;
    auto show = [&](const std::string& what) { shown += (shown.empty() ? "" : " ") + what; };
    for (const OptionRow& row : option_rows) {
        const int* flag = flag_of(row);
        if (flag != nullptr && *flag != 0 && seen.insert(flag).second)
            show(row.name + (*flag == 1 ? "" : "=" + std::to_string(*flag)));
        if (row.text != nullptr && *row.text != nullptr)
            show(std::string(row.name) + "=" + *row.text);
        if (row.list != nullptr)
            for (const char* item : *row.list) show(std::string(row.name) + "=" + item);
    }
    return shown;
}

// Parses args (the program name first) from a clean start. The arguments
// stay until the next call, as a process's do: backup_suffix points into
// them.
int parse(const std::vector<std::string>& given) {
    static std::vector<std::string> args;
    args = given;
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    reset_options();
    return parse_options(static_cast<int>(args.size()), argv.data());
}

// The Japanese text lists the letters the program takes, in its usage line
// and in the heading of each kind of cluster, and has a line for each.
TEST(Options, UsageTextNamesEveryLetter) {
    std::string plain, del;
    for (const OptionRow& row : option_rows) {
        if (row.form == OptionForm::letter) plain += row.letter();
        if (row.form == OptionForm::delete_letter) del += row.letter();
    }
    std::sort(plain.begin(), plain.end());
    std::sort(del.begin(), del.end());
    EXPECT_EQ("Usage: tagpolish [-" + plain + "] [-d:" + del + "] <htmlfiles>",
              std::string(usage[3]));
    for (const std::string& letters : {plain, del}) {
        const std::string heading = (letters == plain ? "  -" : "  -d:") + letters + ":";
        const char* const* line = usage;
        while (*line != nullptr && heading != *line) ++line;
        ASSERT_NE(nullptr, *line) << heading;
        std::string described;
        for (++line; *line != nullptr && std::string_view(*line) != " "; ++line)
            if (std::string_view(*line).starts_with("    ") && (*line)[4] != ' ')
                described += (*line)[4];
        std::sort(described.begin(), described.end());
        EXPECT_EQ(letters, described) << heading;
    }
}

TEST(Options, ClustersSetTheirFlags) {
    struct Case {
        std::vector<std::string> args;
        int first_file;
        std::string flags;
    };
    const Case cases[] = {
        {{"tagpolish", "-acijknsuw", "-d:abcfhilos", "a.htm"},
         3,
         "-a -c -i -j -k -n -s -u=4 -w "
         "-d:a -d:b -d:c -d:f -d:h -d:i -d:l -d:o -d:s"},
        {{"tagpolish", "-a", "-w", "-d:c", "-d:f"}, 5, "-a -w -d:c -d:f"},
        {{"tagpolish", "-aw", "-d:cf", "x.htm", "y.htm"}, 3, "-a -w -d:c -d:f"},
        {{"tagpolish", "-w"}, 2, "-w"},
        {{"tagpolish", "-usa", "x.htm"}, 2, "-a -s -u=4"},
        // A lone "-" and a bare "-d:" are empty clusters.
        {{"tagpolish", "-"}, 2, ""},
        {{"tagpolish", "-d:"}, 2, ""},
        {{"tagpolish", "-k", "-", "-d:", "b.htm"}, 4, "-k"},
        // Repeating a letter changes nothing; u stays 4 rather than adding up.
        {{"tagpolish", "-aa"}, 2, "-a"},
        {{"tagpolish", "-a", "-a"}, 3, "-a"},
        {{"tagpolish", "-d:cc"}, 2, "-d:c"},
        {{"tagpolish", "-uu", "-u"}, 3, "-u=4"},
        // The same letter means different flags in the two kinds of cluster.
        {{"tagpolish", "-s", "-d:i"}, 3, "-s -d:i"},
        {{"tagpolish", "-d:s", "-i"}, 3, "-i -d:s"},
        // The first file name ends the options; what follows it and is not
        // written as an option is a name; a "--" there goes in front of them.
        {{"tagpolish", "a.htm", "-wx"}, 1, ""},
        {{"tagpolish", "a.htm", "-"}, 1, ""},
        {{"tagpolish", "-j", "a.htm", "-x"}, 2, "-j"},
        {{"tagpolish", "-j", "a.htm", "--", "-w"}, 3, "-j"},
        {{"tagpolish", "a.htm", "--"}, 2, ""},
        {{"tagpolish", "--", "a.htm", "--", "-w"}, 2, ""},
        // Long options, and "--", which ends the options.
        {{"tagpolish", "-w", "--dry-run", "--list", "--null", "--backup", "a.htm"},
         6,
         "-w --dry-run --list --null --backup=.orig"},
        {{"tagpolish", "--backup=.bak", "-w"}, 3, "-w --backup=.bak"},
        {{"tagpolish", "-w", "--backup=.a", "--backup=~", "--list"}, 5, "-w --list --backup=~"},
        {{"tagpolish", "-a", "--", "-w", "--list"}, 3, "-a"},
        // An edit given by name works without -w, as the letters do.
        {{"tagpolish", "--flatten-offsite", "-u", "a.htm"}, 3, "-u=4 --flatten-offsite"},
        {{"tagpolish", "--"}, 2, ""},
        {{"tagpolish", "--", "--"}, 2, ""},
    };
    for (const Case& c : cases) {
        std::string shown = joined(c.args);
        EXPECT_EQ(c.first_file, parse(c.args)) << shown;
        EXPECT_EQ(c.flags, set_flags()) << shown;
    }
    reset_options();
}

}  // namespace
}  // namespace tagpolish
