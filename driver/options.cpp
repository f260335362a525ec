// Option flags, the help text and the parsing of the option arguments.
#include "driver/options.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <string_view>

#include "driver/site_walk.h"
#include "lib/diag.h"

namespace tagpolish {

namespace {

// One option letter and what it does to its flag.
struct OptionLetter {
    char letter;
    int* flag;
    int value;
};

// Letters of a plain cluster ("-aw").
constexpr OptionLetter plain_letters[] = {
    {'a', &opt_a, 1}, {'c', &opt_c, 1}, {'i', &opt_i, 1}, {'j', &opt_j, 1}, {'k', &opt_k, 1},
    {'n', &opt_n, 1}, {'r', &opt_r, 1}, {'s', &opt_s, 1}, {'u', &opt_u, 4}, {'w', &opt_w, 1},
};

// Letters of a delete cluster ("-d:cf").
constexpr OptionLetter delete_letters[] = {
    {'a', &del_a, 1}, {'b', &del_b, 1}, {'c', &del_c, 1}, {'f', &del_f, 1}, {'h', &del_h, 1},
    {'i', &del_i, 1}, {'l', &del_l, 1}, {'o', &del_o, 1}, {'s', &del_s, 1},
};

// Long options that set a flag.
struct LongFlag {
    const char* name;
    int* flag;
};
constexpr LongFlag long_flags[] = {
    {"--dry-run", &opt_dry_run}, {"--list", &opt_list},     {"--null", &opt_null},
    {"--recursive", &opt_r},     {"--quiet", &opt_quiet},   {"--report", &opt_report},
    {"--force", &opt_force},     {"--follow-links", &opt_follow_links},
};

constexpr const char* default_suffix = ".orig";
constexpr int max_jobs = 256;

// Ends the process; what went to standard output must not be lost on the
// way, and a failure to write it fails the run.
[[noreturn]] void finish(int status) {
    const int why = std::fflush(stdout) == 0 ? 0 : errno;
    if (why != 0 || std::ferror(stdout)) {
        errmsg_why(why, "standard output: cannot write\n");
        status = 1;
    }
    std::exit(status);
}

// Prints lines up to their null entry, each with its line end, and ends
// the process with status 0.
[[noreturn]] void print_lines(const char* const* lines) {
    for (; *lines != nullptr; ++lines) std::printf("%s\n", *lines);
    finish(0);
}

// The entry of letter, or nullptr when it is not one of the letters.
template <std::size_t N>
const OptionLetter* find_letter(const OptionLetter (&letters)[N], char letter) {
    const OptionLetter* hit =
        std::find_if(std::begin(letters), std::end(letters),
                     [letter](const OptionLetter& o) { return o.letter == letter; });
    return hit == std::end(letters) ? nullptr : hit;
}

// Sets the flags of one option argument; an unknown letter ends the run
// before any input is touched.
void set_cluster(const char* arg) {
    const bool is_delete = arg[1] == 'd' && arg[2] == ':';
    for (const char* p = arg + (is_delete ? 3 : 1); *p != '\0'; ++p) {
        const OptionLetter* o =
            is_delete ? find_letter(delete_letters, *p) : find_letter(plain_letters, *p);
        if (o == nullptr) {
            if (is_delete)
                errmsg("%c: unknown -d option\n", *p);
            else
                errmsg("%c: unknown option\n", *p);
            finish(1);
        }
        *o->flag = o->value;
    }
}

// The value of arg when it is the long option name, given as "name" (the
// value is null) or "name=value"; false when it is another option.
bool long_option(std::string_view arg, std::string_view name, const char*& value) {
    if (!arg.starts_with(name)) return false;
    if (arg.size() == name.size()) {
        value = nullptr;
        return true;
    }
    value = arg.data() + name.size() + 1;
    return arg[name.size()] == '=';
}

// Takes the suffix of a backup option ("--backup" or "--backup=SUFFIX").
// A suffix must make a name beside the file: it is neither empty nor holds
// a "/".
const char* take_suffix(const char* arg, const char* value) {
    const char* suffix = value != nullptr ? value : default_suffix;
    if (*suffix == '\0') {
        errmsg("%s: the backup suffix is empty\n", arg);
        finish(1);
    }
    if (std::strchr(suffix, '/') != nullptr) {
        errmsg("%s: a backup suffix cannot hold \"/\"\n", arg);
        finish(1);
    }
    return suffix;
}

// Takes the number of --jobs=N.
int take_jobs(const char* arg, const char* value) {
    char* end = nullptr;
    errno = 0;
    const long n = value != nullptr ? std::strtol(value, &end, 10) : 0;
    if (value == nullptr || *value == '\0' || *end != '\0' || errno != 0 || n < 1 ||
        n > max_jobs) {
        errmsg("%s: give a number of jobs from 1 to 256\n", arg);
        finish(1);
    }
    return static_cast<int>(n);
}

// Sets what an option with a value asks for; false when arg is none of
// them.
bool set_valued(const char* arg) {
    const char* value = nullptr;
    if (long_option(arg, "--backup", value))
        backup_suffix = take_suffix(arg, value);
    else if (long_option(arg, "--restore", value))
        restore_suffix = take_suffix(arg, value);
    else if (long_option(arg, "--remove-backups", value))
        remove_suffix = take_suffix(arg, value);
    else if (long_option(arg, "--jobs", value))
        opt_jobs = take_jobs(arg, value);
    else if (long_option(arg, "--include", value) && value != nullptr)
        include_globs.push_back(value);
    else if (long_option(arg, "--exclude", value) && value != nullptr)
        exclude_globs.push_back(value);
    else
        return false;
    return true;
}

// Sets what one long option asks for; help and the version end the run
// here, wherever they stand among the options, and so does an option that
// is not one. Every other long option works only with -w.
void set_long(const char* arg) {
    const std::string_view name(arg);
    if (name == "--help") print_lines(help_lines);
    if (name == "--version") {
        std::printf("tagpolish %s\n", TAGPOLISH_VERSION);
        finish(0);
    }
    for (const LongFlag& f : long_flags) {
        if (name == f.name) {
            *f.flag = 1;
            return;
        }
    }
    if (set_valued(arg)) return;
    errmsg("%s: unknown option\n", arg);
    finish(1);
}

[[noreturn]] void refuse(const char* arg, MsgFormat<const char*> why) {
    errmsg(why, arg);
    finish(1);
}

// Whether an option letter that edits the text was given.
bool edits_asked() {
    for (int flag : {opt_a, opt_c, opt_j, opt_k, opt_n, opt_s, opt_u, del_a, del_b, del_c, del_f,
                     del_h, del_i, del_l, del_o, del_s})
        if (flag != 0) return true;
    return false;
}

// The walk's rules, as the options give them.
WalkRules rules_given() {
    WalkRules rules;
    rules.include.assign(include_globs.begin(), include_globs.end());
    rules.exclude.assign(exclude_globs.begin(), exclude_globs.end());
    return rules;
}

// Restoring and removing backups edit nothing, and the walk must never
// take a page for a backup: a suffix that a page's name may end in is
// refused.
void check_backup_actions(const char* action) {
    if (restore_suffix != nullptr && remove_suffix != nullptr)
        refuse("--remove-backups", "%s: not with --restore\n");
    if (edits_asked() || backup_suffix != nullptr || opt_report)
        refuse(action, "%s: edits nothing: not with edit letters, --backup or --report\n");
    const char* suffix = restore_suffix != nullptr ? restore_suffix : remove_suffix;
    if (opt_r && is_page_name(rules_given(), std::string("page") + suffix))
        refuse(action, "%s: a page's name may end in this suffix\n");
}

// The long options act on the files that -w rewrites, and --null on the
// names that --list, --report or --dry-run print; given without them,
// they are refused. first_long is the first long option given, first_walk
// the first that needs -r.
void check_long_options(const char* first_long, const char* first_walk) {
    if (first_long != nullptr && !opt_w) refuse(first_long, "%s: needs -w\n");
    if (opt_r && !opt_w) refuse("-r", "%s: needs -w\n");
    if (opt_null && !opt_list && !opt_dry_run && !opt_report)
        refuse("--null", "%s: needs --list, --report or --dry-run\n");
    if (first_walk != nullptr && !opt_r) refuse(first_walk, "%s: needs -r\n");
    if (opt_force && restore_suffix == nullptr) refuse("--force", "%s: needs --restore\n");
    if (restore_suffix != nullptr) check_backup_actions("--restore");
    if (remove_suffix != nullptr) check_backup_actions("--remove-backups");
}

// Whether arg is a long option that only the walk takes.
bool walk_only(std::string_view arg) {
    return arg.starts_with("--include") || arg.starts_with("--exclude") ||
           arg == "--follow-links";
}

}  // namespace

int parse_options(int argc, char** argv) {
    if (argc == 2 && std::strcmp(argv[1], "-usage") == 0) print_lines(usage);
    if (argc < 2) {
        std::printf("%s\n", usage[3]);
        finish(1);
    }
    const char *first_long = nullptr, *first_walk = nullptr;
    int i = 1;
    while (i < argc && argv[i][0] == '-') {
        const char* arg = argv[i++];
        if (arg[1] != '-') {
            set_cluster(arg);
        } else if (arg[2] == '\0') {
            break;  // "--": the files follow
        } else {
            set_long(arg);
            if (first_long == nullptr) first_long = arg;
            if (first_walk == nullptr && walk_only(arg)) first_walk = arg;
        }
    }
    check_long_options(first_long, first_walk);
    return i;
}

}  // namespace tagpolish
