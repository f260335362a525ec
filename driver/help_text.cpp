// The help texts: the Japanese usage text of -usage and the English help
// of --help.
#include "driver/options.h"

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
    // 3: Usage: tagpolish [-acijknsuw] [-d:abcfilso] <htmlfiles>
    "Usage: tagpolish [-acijknsuw] [-d:abcfilso] <htmlfiles>",
    // 4: (one space)
    " ",
    // 5: Parameter:
    "Parameter:",
    // 6:   -acijknsuw:
    "  -acijknsuw:",
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
    // 21: (one space)
    " ",
    // 22:   -d:abcfhilos:
    "  -d:abcfhilos:",
    // 23:     a   リンクタグを外します。
    "    a   \x83\x8A\x83\x93\x83\x4E\x83\x5E\x83\x4F\x82\xF0\x8A\x4F\x82\xB5\x82\xDC"
    "\x82\xB7\x81\x42",
    // 24:     b   タグ内のbgcolor指定を外します。
    "    b   \x83\x5E\x83\x4F\x93\xE0\x82\xCC"
    "bgcolor\x8E\x77\x92\xE8\x82\xF0\x8A\x4F\x82\xB5\x82\xDC\x82\xB7\x81\x42",
    // 25:     c   コメント（<!-- ... -->)の記述を削除します。
    "    c   \x83\x52\x83\x81\x83\x93\x83\x67\x81\x69<!-- ... -->)\x82\xCC\x8B\x4C"
    "\x8F\x71\x82\xF0\x8D\xED\x8F\x9C\x82\xB5\x82\xDC\x82\xB7\x81\x42",
    // 26:     f   フォントタグを外します。
    "    f   \x83\x74\x83\x48\x83\x93\x83\x67\x83\x5E\x83\x4F\x82\xF0\x8A\x4F\x82\xB5"
    "\x82\xDC\x82\xB7\x81\x42",
    // 27:     h   タグ内のcharsetオプションを外します。
    "    h   \x83\x5E\x83\x4F\x93\xE0\x82\xCC"
    "charset\x83\x49\x83\x76\x83\x56\x83\x87\x83\x93\x82\xF0\x8A\x4F\x82\xB5\x82\xDC"
    "\x82\xB7\x81\x42",
    // 28:     i   イメージタグを外します。
    "    i   \x83\x43\x83\x81\x81\x5B\x83\x57\x83\x5E\x83\x4F\x82\xF0\x8A\x4F\x82\xB5"
    "\x82\xDC\x82\xB7\x81\x42",
    // 29:     l   TABLEタグのalign指定を削除します。
    "    l   TABLE\x83\x5E\x83\x4F\x82\xCC"
    "align\x8E\x77\x92\xE8\x82\xF0\x8D\xED\x8F\x9C\x82\xB5\x82\xDC\x82\xB7\x81\x42",
    // 30:     o   bgsoundタグを外します。
    "    o   bgsound\x83\x5E\x83\x4F\x82\xF0\x8A\x4F\x82\xB5\x82\xDC\x82\xB7\x81\x42",
    // 31:     s   フォントタグのsize指定を外します。
    "    s   \x83\x74\x83\x48\x83\x93\x83\x67\x83\x5E\x83\x4F\x82\xCCsize\x8E\x77\x92\xE8"
    "\x82\xF0\x8A\x4F\x82\xB5\x82\xDC\x82\xB7\x81\x42",
    // 32: (one space)
    " ",
    // 33:   <htmlfiles>
    "  <htmlfiles>",
    // 34:         HTML文書ファイル
    "        HTML\x95\xB6\x8F\x91\x83\x74\x83\x40\x83\x43\x83\x8B",
    // 35: (one space)
    " ",
    // 36: Version: 1.44
    "Version: 1.44",
    nullptr,
};

// One line per option, in the order of the manual's OPTIONS section.
const char* const help_lines[] = {
    "Usage: tagpolish [-acijknsuw] [-d:abcfhilos] [--dry-run] [--list] [--null]",
    "                 [--backup[=SUFFIX]] [--] [FILE]...",
    "       tagpolish -w -r [OPTIONS] FOLDER...",
    "       tagpolish -w --restore[=SUFFIX] | --remove-backups[=SUFFIX] [-r] NAME...",
    "Edits the HTML source of each FILE in Shift_JIS, or of standard input when no",
    "FILE is named, and writes the result to standard output (with -w, over FILE).",
    "",
    "  -usage             print the help text in Japanese (Shift_JIS)",
    "  --help             print this help",
    "  --version          print the version",
    "  -a                 full-width Latin letters become ASCII letters",
    "  -c                 names in tags (and values like align=) become upper case",
    "  -i                 ignore tag-bracket errors",
    "  -j                 join lines that do not end in '>' (not in <pre>/<listing>)",
    "  -k                 half-width katakana outside tags become full-width",
    "  -n                 full-width digits become ASCII digits",
    "  -s                 as -c, but to lower case; wins over -c",
    "  -u                 link and image references point into the page's directory",
    "  -w                 write the result back over each FILE",
    "  -r                 with -w: edit the pages in each FOLDER and the ones below",
    "  --recursive        the same as -r",
    "  --include=GLOB     with -r: edit the files named so (default *.htm, *.html)",
    "  --exclude=GLOB     with -r: leave out the files and folders named so",
    "  --follow-links     with -r: follow symbolic links, not pass them over",
    "  --jobs=N           with -w: edit N pages at once (default: 1, with -r one per",
    "                     processor)",
    "  --quiet            with -w: no status line on a terminal",
    "  --dry-run          with -w: change no file, name each file that would change",
    "  --list             with -w: name each file rewritten, then a summary",
    "  --report           with -w: name each page that changes, with its edits",
    "  --null             end the names of --list, --report and --dry-run in NUL",
    "  --backup[=SUFFIX]  with -w: keep the old text as FILE.orig (or FILE+SUFFIX)",
    "  --restore[=SUFFIX] with -w: put each backup back in place of its page",
    "  --remove-backups[=SUFFIX]",
    "                     with -w: remove each backup",
    "  --force            with --restore: also over a page changed since its backup",
    "  --                 end the options: every argument after it is a FILE",
    "  -d:a               remove link tags",
    "  -d:b               remove bgcolor= attributes",
    "  -d:c               remove comments",
    "  -d:f               remove font tags",
    "  -d:h               remove charset= settings, also inside quoted values",
    "  -d:i               remove image tags",
    "  -d:l               remove align= and valign= inside tables",
    "  -d:o               remove bgsound tags",
    "  -d:s               remove the size= of font tags",
    "",
    "Letters combine: -akn -d:cf. Manual: man tagpolish (man -l docs/tagpolish.1).",
    nullptr,
};

}  // namespace tagpolish
