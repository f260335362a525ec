// Option flags, the help text and the parsing of the option arguments.
#include "driver/command_line/options.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "driver/in_place.h"
#include "lib/diag.h"
#include "platform/paths.h"

namespace tagpolish {

namespace {

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

[[noreturn]] void print_help() {
    for (const std::string& line : help_lines()) std::printf("%s\n", line.c_str());
    finish(0);
}

// The row of the letter in a cluster of that form, or nullptr.
const OptionRow* find_letter(OptionForm form, char letter) {
    for (const OptionRow& row : option_rows)
        if (row.form == form && row.letter() == letter) return &row;
    return nullptr;
}

// The row of the long option of that form, or nullptr.
const OptionRow* find_long(OptionForm form, std::string_view name) {
    for (const OptionRow& row : option_rows)
        if (row.form == form && name == row.name) return &row;
    return nullptr;
}

// Sets the flags of one option argument; an unknown letter ends the run
// before any input is touched.
void set_cluster(const char* arg) {
    const bool is_delete = arg[1] == 'd' && arg[2] == ':';
    const OptionForm form = is_delete ? OptionForm::delete_letter : OptionForm::letter;
    for (const char* p = arg + (is_delete ? 3 : 1); *p != '\0'; ++p) {
        const OptionRow* row = find_letter(form, *p);
        if (row == nullptr) {
            if (is_delete)
                errmsg("%c: unknown -d option\n", *p);
            else
                errmsg("%c: unknown option\n", *p);
            finish(1);
        }
        set_option(*row);
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
// a "/" (nor, on Windows, a "\\", a ":" or another letter that no name
// holds there).
const char* take_suffix(const char* arg, const char* value) {
    const char* suffix = value != nullptr ? value : default_backup_suffix;
    if (*suffix == '\0') {
        errmsg("%s: the backup suffix is empty\n", arg);
        finish(1);
    }
    for (const char* c = suffix; *c != '\0'; ++c)
        if (!name_may_hold(*c)) {
            errmsg("%s: a backup suffix cannot hold \"%c\"\n", arg, *c);
            finish(1);
        }
    return suffix;
}

// Takes the number of a number option's row.
int take_number(const OptionRow& row, const char* arg, const char* value) {
    char* end = nullptr;
    errno = 0;
    const long n = value != nullptr ? std::strtol(value, &end, 10) : 0;
    if (value == nullptr || *value == '\0' || *end != '\0' || errno != 0 || n < row.least ||
        n > row.most) {
        errmsg(row.out_of_range, arg);
        finish(1);
    }
    return static_cast<int>(n);
}

// Takes the value of a choice's row: 1 alone, 2 with its one value.
int take_choice(const OptionRow& row, const char* arg, const char* value) {
    if (value == nullptr) return 1;
    if (std::strcmp(value, row.choice) == 0) return 2;
    errmsg(row.out_of_range, arg);
    finish(1);
}

// Sets what an option with a value asks for; false when arg is none of
// them. A pattern needs its value; a suffix has one by default.
bool set_valued(const char* arg) {
    const char* value = nullptr;
    for (const OptionRow& row : option_rows) {
        if (row.form != OptionForm::with_value || !long_option(arg, row.name, value)) continue;
        if (row.text != nullptr)
            *row.text = take_suffix(arg, value);
        else if (row.choice != nullptr)
            *row.flag = take_choice(row, arg, value);
        else if (row.flag != nullptr)
            *row.flag = take_number(row, arg, value);
        else if (value != nullptr)
            row.list->push_back(value);
        else
            continue;
        return true;
    }
    return false;
}

// Sets what one long option asks for; help and the version end the run
// here, wherever they stand among the options, and so does an option that
// is not one. Every other long option but those that edit works only with
// -w.
void set_long(const char* arg) {
    const std::string_view name(arg);
    if (name == "--help") print_help();
    if (name == "--version") {
        std::printf("tagpolish %s\n", TAGPOLISH_VERSION);
        finish(0);
    }
    if (const OptionRow* row = find_long(OptionForm::word, name)) {
        set_option(*row);
        return;
    }
    if (set_valued(arg)) return;
    errmsg("%s: unknown option\n", arg);
    finish(1);
}

[[noreturn]] void refuse(const char* arg, MsgFormat<const char*> why) {
    errmsg(why, arg);
    finish(1);
}

// Restoring and removing backups edit nothing.
void check_backup_actions(const char* action) {
    if (restore_suffix != nullptr && remove_suffix != nullptr)
        refuse("--remove-backups", "%s: not with --restore\n");
    if (edits_asked() || backup_suffix != nullptr || opt_report)
        refuse(action, "%s: edits nothing: not with edit letters, --backup or --report\n");
}

// The long options that edit nothing act on the files that -w rewrites,
// and --null on the names that --list, --report or --dry-run print; given
// without them, they are refused. first_long is the first such long
// option given, first_walk the first that needs -r.
void check_long_options(const char* first_long, const char* first_walk) {
    if (first_long != nullptr && !opt_w) refuse(first_long, "%s: needs -w\n");
    if (opt_r && !opt_w) refuse("-r", "%s: needs -w\n");
    if (opt_null && !opt_list && !opt_dry_run && !opt_report)
        refuse("--null", "%s: needs --list, --report or --dry-run\n");
    if (first_walk != nullptr && !opt_r) refuse(first_walk, "%s: needs -r\n");
    if (opt_force && restore_suffix == nullptr) refuse("--force", "%s: needs --restore\n");
    if (restore_suffix != nullptr) check_backup_actions("--restore");
    if (remove_suffix != nullptr) check_backup_actions("--remove-backups");
    // A page must never be taken for a backup (and so never edited, or
    // renamed over another page, or removed).
    if (const char* option = suffix_joining_pages())
        refuse(option, "%s: a page's name may end in this suffix\n");
}

// Whether arg is a long option that changes the text, which works
// without -w.
bool edits_text(std::string_view arg) {
    const char* value;
    for (const OptionRow& row : option_rows)
        if ((row.role == OptionRole::edit || row.role == OptionRole::output) &&
            row.form != OptionForm::letter && row.form != OptionForm::delete_letter &&
            long_option(arg, row.name, value))
            return true;
    return false;
}

// An option given without the one it works with is refused.
void check_needs() {
    for (const OptionRow& row : option_rows) {
        if (row.needs == nullptr || *flag_of(row) == 0 || *flag_of(*find_row(row.needs)) != 0)
            continue;
        errmsg("%s: needs %s\n", row.name, row.needs);
        finish(1);
    }
}

// Whether arg is a long option that only the walk takes.
bool walk_only(std::string_view arg) {
    const char* value;
    for (const OptionRow& row : option_rows)
        if (row.walk_only && long_option(arg, row.name, value)) return true;
    return false;
}

// Whether arg is written as an option the program takes: a long option
// (or -usage) by its name, alone or with "=" and a value, or a cluster
// made only of known letters.
bool spelled_as_option(std::string_view arg) {
    if (arg.size() < 2 || arg[0] != '-') return false;
    for (const OptionRow& row : option_rows) {
        const std::string_view name = row.name;
        if (row.form == OptionForm::letter || row.form == OptionForm::delete_letter || name == "--")
            continue;
        if (arg == name || (arg.starts_with(name) && arg[name.size()] == '=')) return true;
    }
    if (arg[1] == '-') return false;
    const bool is_delete = arg.starts_with("-d:");
    const OptionForm form = is_delete ? OptionForm::delete_letter : OptionForm::letter;
    const std::string_view letters = arg.substr(is_delete ? 3 : 1);
    return !letters.empty() && std::all_of(letters.begin(), letters.end(), [form](char c) {
        return find_letter(form, c) != nullptr;
    });
}

// The names start at first, the options having ended without "--". An
// argument among them written as an option was meant as one: taken as a
// name, it would leave the run to go ahead without it, so the run ends
// here. A "--" among them ends the options as it does in front of them:
// it is moved there, and every argument after it is a name. Returns the
// index of the first name.
int take_names(int first, int argc, char** argv) {
    int dashes = first;
    while (dashes < argc && std::strcmp(argv[dashes], "--") != 0) ++dashes;
    bool refused = false;
    for (int i = first; i < dashes; ++i) {
        if (!spelled_as_option(argv[i])) continue;
        errmsg(
            "%s: an option after the file names; put the options first, or write -- before a "
            "file of that name\n",
            static_cast<const char*>(argv[i]));
        refused = true;
    }
    if (refused) finish(1);
    if (dashes == argc) return first;
    std::rotate(argv + first, argv + dashes, argv + dashes + 1);
    return first + 1;
}

}  // namespace

int parse_options(int argc, char** argv) {
    if (argc == 2 && std::strcmp(argv[1], "-usage") == 0) print_lines(usage);
    if (argc < 2) {
        std::printf("%s\n", usage[3]);
        finish(1);
    }
    const char *first_long = nullptr, *first_walk = nullptr;
    bool dashes = false;
    int i = 1;
    while (i < argc && argv[i][0] == '-') {
        const char* arg = argv[i++];
        if (arg[1] != '-') {
            set_cluster(arg);
        } else if (arg[2] == '\0') {
            dashes = true;  // the files follow
            break;
        } else {
            set_long(arg);
            if (first_long == nullptr && !edits_text(arg)) first_long = arg;
            if (first_walk == nullptr && walk_only(arg)) first_walk = arg;
        }
    }
    if (!dashes) i = take_names(i, argc, argv);
    check_long_options(first_long, first_walk);
    check_needs();
    return i;
}

}  // namespace tagpolish
