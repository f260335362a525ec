// The help texts: the Japanese usage text of -usage and the English help
// of --help.
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

#include "driver/command_line/options.h"

namespace tagpolish {

// The help text is printed as these Shift_JIS bytes, unconverted. Each entry
// is preceded by its line number and its text as it reads on screen; the
// bytes are escaped so this file stays plain ASCII, and a literal is split
// where an escape would otherwise swallow a following hex digit.
const char* const usage[] = {
    // 0: HTMLソース(SJIS)を編集します。
    "HTML\x83\x5C\x81\x5B\x83\x58(SJIS)\x82\xF0\x95\xD2\x8F\x57\x82\xB5\x82\xDC\x82\xB7"
    "\x81\x42",
    // 1: ただし、"…"の中やコメントの中(<!-- … -->)は編集しません。
    "\x82\xBD\x82\xBE\x82\xB5\x81\x41\"\x81\x63\"\x82\xCC\x92\x86\x82\xE2\x83\x52\x83\x81"
    "\x83\x93\x83\x67\x82\xCC\x92\x86(<!-- \x81\x63 -->)\x82\xCD\x95\xD2\x8F\x57\x82\xB5"
    "\x82\xDC\x82\xB9\x82\xF1\x81\x42",
    // 2: (one space)
    " ",
    // 3: Usage: tagpolish [-acijknrsuw] [-d:abcfhilos] <htmlfiles>
    "Usage: tagpolish [-acijknrsuw] [-d:abcfhilos] <htmlfiles>",
    // 4: (one space)
    " ",
    // 5: Parameter:
    "Parameter:",
    // 6:   -acijknrsuw:
    "  -acijknrsuw:",
    // 7:     a   全角の英字を半角にします。
    "    a   \x91\x53\x8A\x70\x82\xCC\x89\x70\x8E\x9A\x82\xF0\x94\xBC\x8A\x70\x82\xC9"
    "\x82\xB5\x82\xDC\x82\xB7\x81\x42",
    // 8:     c   タグ内の小文字(a～z)を大文字(A～Z)にします。
    "    c   \x83\x5E\x83\x4F\x93\xE0\x82\xCC\x8F\xAC\x95\xB6\x8E\x9A(a\x81\x60z)\x82\xF0"
    "\x91\xE5\x95\xB6\x8E\x9A(A\x81\x60Z)\x82\xC9\x82\xB5\x82\xDC\x82\xB7\x81\x42",
    // 9:         ただし、"…"の中はそのままになります。
    "        \x82\xBD\x82\xBE\x82\xB5\x81\x41\"\x81\x63\"\x82\xCC\x92\x86\x82\xCD\x82\xBB"
    "\x82\xCC\x82\xDC\x82\xDC\x82\xC9\x82\xC8\x82\xE8\x82\xDC\x82\xB7\x81\x42",
    // 10:     i   タグ括弧エラー(括弧が閉じられていない等)を無視します。
    "    i   \x83\x5E\x83\x4F\x8A\x87\x8C\xCA\x83\x47\x83\x89\x81\x5B(\x8A\x87\x8C\xCA"
    "\x82\xAA\x95\xC2\x82\xB6\x82\xE7\x82\xEA\x82\xC4\x82\xA2\x82\xC8\x82\xA2\x93\x99)"
    "\x82\xF0\x96\xB3\x8E\x8B\x82\xB5\x82\xDC\x82\xB7\x81\x42",
    // 11:     j   最後が'>'で終わっていない行を結合します。
    "    j   \x8D\xC5\x8C\xE3\x82\xAA'>'\x82\xC5\x8F\x49\x82\xED\x82\xC1\x82\xC4\x82\xA2"
    "\x82\xC8\x82\xA2\x8D\x73\x82\xF0\x8C\x8B\x8D\x87\x82\xB5\x82\xDC\x82\xB7\x81\x42",
    // 12:         ただし、<PRE>...</PRE>の中は除外します。
    "        \x82\xBD\x82\xBE\x82\xB5\x81\x41<PRE>...</PRE>\x82\xCC\x92\x86\x82\xCD"
    "\x8F\x9C\x8A\x4F\x82\xB5\x82\xDC\x82\xB7\x81\x42",
    // 13:         また、行頭が"<P>..."という場合には、直前の行に改行コードを付加します。
    "        \x82\xDC\x82\xBD\x81\x41\x8D\x73\x93\xAA\x82\xAA\"<P>...\"\x82\xC6\x82\xA2"
    "\x82\xA4\x8F\xEA\x8D\x87\x82\xC9\x82\xCD\x81\x41\x92\xBC\x91\x4F\x82\xCC\x8D\x73"
    "\x82\xC9\x89\xFC\x8D\x73\x83\x52\x81\x5B\x83\x68\x82\xF0\x95\x74\x89\xC1\x82\xB5"
    "\x82\xDC\x82\xB7\x81\x42",
    // 14:     k   半角カナを全角のカナに変更します
    "    k   \x94\xBC\x8A\x70\x83\x4A\x83\x69\x82\xF0\x91\x53\x8A\x70\x82\xCC\x83\x4A"
    "\x83\x69\x82\xC9\x95\xCF\x8D\x58\x82\xB5\x82\xDC\x82\xB7",
    // 15:     n   全角の数字を半角にします。
    "    n   \x91\x53\x8A\x70\x82\xCC\x90\x94\x8E\x9A\x82\xF0\x94\xBC\x8A\x70\x82\xC9"
    "\x82\xB5\x82\xDC\x82\xB7\x81\x42",
    // 16:     u   リンクやイメージデータを全て同じディレクトリ内の参照にします。
    "    u   \x83\x8A\x83\x93\x83\x4E\x82\xE2\x83\x43\x83\x81\x81\x5B\x83\x57\x83\x66"
    "\x81\x5B\x83\x5E\x82\xF0\x91\x53\x82\xC4\x93\xAF\x82\xB6\x83\x66\x83\x42\x83\x8C"
    "\x83\x4E\x83\x67\x83\x8A\x93\xE0\x82\xCC\x8E\x51\x8F\xC6\x82\xC9\x82\xB5\x82\xDC"
    "\x82\xB7\x81\x42",
    // 17:     s   リンク内の大文字を小文字にします。
    "    s   \x83\x8A\x83\x93\x83\x4E\x93\xE0\x82\xCC\x91\xE5\x95\xB6\x8E\x9A\x82\xF0"
    "\x8F\xAC\x95\xB6\x8E\x9A\x82\xC9\x82\xB5\x82\xDC\x82\xB7\x81\x42",
    // 18:         ただし、"…"の中はそのままになります。
    "        \x82\xBD\x82\xBE\x82\xB5\x81\x41\"\x81\x63\"\x82\xCC\x92\x86\x82\xCD\x82\xBB"
    "\x82\xCC\x82\xDC\x82\xDC\x82\xC9\x82\xC8\x82\xE8\x82\xDC\x82\xB7\x81\x42",
    // 19:     w   元のファイルに上書きします。
    "    w   \x8C\xB3\x82\xCC\x83\x74\x83\x40\x83\x43\x83\x8B\x82\xC9\x8F\xE3\x8F\x91"
    "\x82\xAB\x82\xB5\x82\xDC\x82\xB7\x81\x42",
    // 20:         これはコピーしたファイルに対して行うことをお勧めします。
    "        \x82\xB1\x82\xEA\x82\xCD\x83\x52\x83\x73\x81\x5B\x82\xB5\x82\xBD\x83\x74"
    "\x83\x40\x83\x43\x83\x8B\x82\xC9\x91\xCE\x82\xB5\x82\xC4\x8D\x73\x82\xA4\x82\xB1"
    "\x82\xC6\x82\xF0\x82\xA8\x8A\xA9\x82\xDF\x82\xB5\x82\xDC\x82\xB7\x81\x42",
    // 21:     r   -wと共に、指定したフォルダとその下のフォルダのHTML文書を編集します。
    "    r   -w\x82\xC6\x8B\xA4\x82\xC9\x81\x41\x8E\x77\x92\xE8\x82\xB5\x82\xBD\x83\x74"
    "\x83\x48\x83\x8B\x83\x5F\x82\xC6\x82\xBB\x82\xCC\x89\xBA\x82\xCC\x83\x74\x83\x48"
    "\x83\x8B\x83\x5F\x82\xCCHTML\x95\xB6\x8F\x91\x82\xF0\x95\xD2\x8F\x57\x82\xB5\x82\xDC"
    "\x82\xB7\x81\x42",
    // 22: (one space)
    " ",
    // 23:   -d:abcfhilos:
    "  -d:abcfhilos:",
    // 24:     a   リンクタグを外します。
    "    a   \x83\x8A\x83\x93\x83\x4E\x83\x5E\x83\x4F\x82\xF0\x8A\x4F\x82\xB5\x82\xDC"
    "\x82\xB7\x81\x42",
    // 25:     b   タグ内のbgcolor指定を外します。
    "    b   \x83\x5E\x83\x4F\x93\xE0\x82\xCC"
    "bgcolor\x8E\x77\x92\xE8\x82\xF0\x8A\x4F\x82\xB5\x82\xDC\x82\xB7\x81\x42",
    // 26:     c   コメント（<!-- ... -->)の記述を削除します。
    "    c   \x83\x52\x83\x81\x83\x93\x83\x67\x81\x69<!-- ... -->)\x82\xCC\x8B\x4C"
    "\x8F\x71\x82\xF0\x8D\xED\x8F\x9C\x82\xB5\x82\xDC\x82\xB7\x81\x42",
    // 27:     f   フォントタグを外します。
    "    f   \x83\x74\x83\x48\x83\x93\x83\x67\x83\x5E\x83\x4F\x82\xF0\x8A\x4F\x82\xB5"
    "\x82\xDC\x82\xB7\x81\x42",
    // 28:     h   タグ内のcharsetオプションを外します。
    "    h   \x83\x5E\x83\x4F\x93\xE0\x82\xCC"
    "charset\x83\x49\x83\x76\x83\x56\x83\x87\x83\x93\x82\xF0\x8A\x4F\x82\xB5\x82\xDC"
    "\x82\xB7\x81\x42",
    // 29:     i   イメージタグを外します。
    "    i   \x83\x43\x83\x81\x81\x5B\x83\x57\x83\x5E\x83\x4F\x82\xF0\x8A\x4F\x82\xB5"
    "\x82\xDC\x82\xB7\x81\x42",
    // 30:     l   TABLEタグのalign指定を削除します。
    "    l   TABLE\x83\x5E\x83\x4F\x82\xCC"
    "align\x8E\x77\x92\xE8\x82\xF0\x8D\xED\x8F\x9C\x82\xB5\x82\xDC\x82\xB7\x81\x42",
    // 31:     o   bgsoundタグを外します。
    "    o   bgsound\x83\x5E\x83\x4F\x82\xF0\x8A\x4F\x82\xB5\x82\xDC\x82\xB7\x81\x42",
    // 32:     s   フォントタグのsize指定を外します。
    "    s   \x83\x74\x83\x48\x83\x93\x83\x67\x83\x5E\x83\x4F\x82\xCCsize\x8E\x77\x92\xE8"
    "\x82\xF0\x8A\x4F\x82\xB5\x82\xDC\x82\xB7\x81\x42",
    // 33: (one space)
    " ",
    // 34:   <htmlfiles>
    "  <htmlfiles>",
    // 35:         HTML文書ファイル
    "        HTML\x95\xB6\x8F\x91\x83\x74\x83\x40\x83\x43\x83\x8B",
    // 36: (one space)
    " ",
    // 37:   --help
    "  --help",
    // 38:         全オプションの説明を英語で表示します。
    "        \x91\x53\x83\x49\x83\x76\x83\x56\x83\x87\x83\x93\x82\xCC\x90\xE0\x96\xBE\x82\xF0"
    "\x89\x70\x8C\xEA\x82\xC5\x95\x5C\x8E\xA6\x82\xB5\x82\xDC\x82\xB7\x81\x42",
    // 39: (one space)
    " ",
    // 40: Version: 1.44
    "Version: 1.44",
    nullptr,
};

namespace {

constexpr int name_column = 19;      // the width of the name column of --help
constexpr int help_width = 79;       // of every line of --help
constexpr int synopsis_indent = 17;  // of a synopsis line that goes on

bool is_long(const OptionRow& row) {
    return row.form == OptionForm::word || row.form == OptionForm::with_value;
}

// The letter row that a long option is another name of (-r for
// --recursive), or nullptr.
const OptionRow* letter_of(const OptionRow& row) {
    for (const OptionRow& other : option_rows)
        if (other.form == OptionForm::letter && row.flag != nullptr && other.flag == row.flag)
            return &other;
    return nullptr;
}

// Restoring and removing backups have a synopsis line of their own.
bool backup_action(const OptionRow& row) {
    return row.text == &restore_suffix || row.text == &remove_suffix || row.flag == &opt_force;
}

// Where a long option goes in the synopsis.
enum class Place { edit, rewrite, walk, backups, alias };

Place place_of(const OptionRow& row) {
    if (row.role != OptionRole::run) return Place::edit;
    if (letter_of(row) != nullptr) return Place::alias;
    if (backup_action(row)) return Place::backups;
    return row.walk_only ? Place::walk : Place::rewrite;
}

// An option as the synopsis shows it, "[--list]"; "[--include=GLOB]..."
// for one that may be given again.
std::string optional(const OptionRow& row) {
    return "[" + std::string(row.column()) + "]" + (row.list != nullptr ? "..." : "");
}

// The letters of the clusters of one form, as the usage line lists them;
// only those that edit or check, unless with_w.
std::string letters_of(OptionForm form, bool with_w) {
    std::string letters;
    for (const OptionRow& row : option_rows)
        if (row.form == form && (row.role != OptionRole::run || (with_w && row.flag == &opt_w)))
            letters += row.letter();
    return letters;
}

// The words of a synopsis line: the letters, then the long options placed
// there.
std::vector<std::string> options_at(Place place, bool with_w) {
    std::vector<std::string> words;
    if (place == Place::edit)
        words = {"[-" + letters_of(OptionForm::letter, with_w) + "]",
                 "[-d:" + letters_of(OptionForm::delete_letter, false) + "]"};
    for (const OptionRow& row : option_rows)
        if (is_long(row) && place_of(row) == place) words.push_back(optional(row));
    return words;
}

// The name column of the row that sets text.
std::string column_of(const char** text) {
    for (const OptionRow& row : option_rows)
        if (row.text == text) return row.column();
    return {};
}

// Adds one line of the synopsis, its words wrapped under the first.
void add_synopsis(std::vector<std::string>& lines, std::string line,
                  const std::vector<std::string>& words) {
    for (const std::string& word : words) {
        if (line.size() + 1 + word.size() > help_width) {
            lines.push_back(line);
            line.assign(synopsis_indent - 1, ' ');
        }
        line += " " + word;
    }
    lines.push_back(line);
}

// The words a line of the synopsis ends in.
std::vector<std::string> then(std::vector<std::string> words,
                              std::initializer_list<std::string> last) {
    words.insert(words.end(), last);
    return words;
}

// The synopsis: every long option the program takes, each on the line of
// the run it belongs to.
void add_synopses(std::vector<std::string>& lines) {
    add_synopsis(lines, "Usage: tagpolish",
                 then(options_at(Place::edit, true), {"[--]", "[FILE]..."}));
    std::vector<std::string> rewrite = options_at(Place::edit, false);
    for (std::string& word : options_at(Place::rewrite, false)) rewrite.push_back(word);
    add_synopsis(lines, "       tagpolish -w", then(rewrite, {"[--]", "FILE..."}));
    std::string walk = "       tagpolish -w -r";
    for (const OptionRow& row : option_rows)
        if (is_long(row) && place_of(row) == Place::alias && row.flag == &opt_r)
            walk += std::string("|") + row.name;
    std::vector<std::string> walked = options_at(Place::walk, false);
    walked.insert(walked.begin(), "[OPTION]...");
    add_synopsis(lines, walk, then(walked, {"FOLDER..."}));
    add_synopsis(lines, "       tagpolish -w [-r]",
                 {column_of(&restore_suffix), optional(*find_row("--force")), "|",
                  column_of(&remove_suffix), "[OPTION]...", "NAME..."});
    std::string asks = "       tagpolish";
    const char* between = " ";
    for (const OptionRow& row : option_rows) {
        if (row.form != OptionForm::action || std::string_view(row.name) == "--") continue;
        asks += between + std::string(row.name);
        between = " | ";
    }
    lines.push_back(asks);
}

// Adds the lines of one option: its name, then its help in the column
// beside it, or below it when the name fills the column.
void add_option(std::vector<std::string>& lines, const OptionRow& row) {
    const std::string name = row.column();
    std::string line = "  " + name;
    std::string_view help = row.help;
    if (name.size() >= name_column) {
        lines.push_back(line);
        line.clear();
    }
    for (;;) {
        line.resize(2 + name_column, ' ');
        const std::size_t end = help.find('\n');
        line += help.substr(0, end);
        lines.push_back(line);
        if (end == std::string_view::npos) return;
        help.remove_prefix(end + 1);
        line.clear();
    }
}

}  // namespace

std::vector<std::string> help_lines() {
    std::vector<std::string> lines;
    add_synopses(lines);
    lines.insert(
        lines.end(),
        {"Edits the HTML source of each FILE in Shift_JIS, or of standard input when no",
         "FILE is named, and writes the result to standard output (with -w, over FILE).", ""});
    for (const OptionRow& row : option_rows) add_option(lines, row);
    lines.push_back("");
    lines.push_back(
        "Letters combine: -akn -d:cf. Manual: man tagpolish (man -l docs/tagpolish.1).");
    return lines;
}

}  // namespace tagpolish
