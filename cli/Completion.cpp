#include "cli/Completion.h"

#include "cli/Cli.h"
#include "codec/Registry.h"

#include <QRegularExpression>
#include <QSet>

namespace {

// A placeholder stands for something typed (N, P, NAME, WxH, RRGGBB, KEY=VALUE), not for a value.
bool IsPlaceholderWord(const QString& word) {
    static const QRegularExpression upper(QStringLiteral("^[A-Z]+$"));
    return word.isEmpty() || upper.match(word).hasMatch() || word.contains(QLatin1String("WxH")) ||
           word.contains(QLatin1Char('='));
}

void AddUnique(QStringList& list, const QStringList& more) {
    for (const QString& s : more)
        if (!list.contains(s)) list << s;
}

// The value that follows an option: cut at the bracket or parenthesis that closes it.
QString CutValue(QString token) {
    const int close = token.indexOf(QRegularExpression(QStringLiteral("[\\]\\)]")));
    if (close >= 0) token.truncate(close);
    while (token.endsWith(QLatin1Char(',')) || token.endsWith(QLatin1Char(':')) || token.endsWith(QLatin1Char(';')))
        token.chop(1);
    return token;
}

TCompletionArgKind KindOf(const QString& placeholder) {
    const QString base = placeholder.section(QLatin1Char('.'), 0, 0);
    if (base == QLatin1String("IN") || base == QLatin1String("FILE") || base == QLatin1String("SRC") ||
        base == QLatin1String("DST"))
        return TCompletionArgKind::akPicture;
    if (base == QLatin1String("OUT")) return TCompletionArgKind::akFile;
    if (base == QLatin1String("DIR") || base == QLatin1String("OUTDIR")) return TCompletionArgKind::akFolder;
    return TCompletionArgKind::akNone;
}

// The description column of the overall usage's lines of a command.
QString SummaryText(const QString& summary) {
    QStringList parts;
    for (const QString& line : summary.split(QLatin1Char('\n'))) {
        if (line.isEmpty()) continue;
        if (!line.front().isSpace()) {
            const int gap = line.indexOf(QLatin1String("   "));
            if (gap >= 0) parts << line.mid(gap).trimmed();
        } else {
            const QString t = line.trimmed();
            if (!t.startsWith(QLatin1Char('[')) && !t.startsWith(QLatin1String("--"))) parts << t;
        }
    }
    return parts.join(QLatin1Char(' '));
}

// Text for inside a single-quoted shell word.
QString ShellQuoted(QString text) { return text.replace(QLatin1String("'"), QLatin1String("'\\''")); }

// A description inside a zsh option description: brackets would end it.
QString ZshDescription(QString text) {
    text.replace(QLatin1Char('['), QLatin1Char('(')).replace(QLatin1Char(']'), QLatin1Char(')'));
    text.replace(QLatin1Char('\\'), QLatin1Char('/'));
    return ShellQuoted(text);
}

QString Words(const QStringList& list) { return list.join(QLatin1Char(' ')); }

QString CaseLabels(const QStringList& list) { return list.join(QLatin1Char('|')); }

QList<TCompletionOption> OptionsOf(const TCompletionModel& model, const TCompletionCommand& command) {
    QList<TCompletionOption> all = command.Options;
    for (const TCompletionOption& g : model.GlobalOptions) {
        if (g.Name == QLatin1String("--version")) continue;
        bool have = false;
        for (const TCompletionOption& o : all) have = have || o.Name == g.Name;
        if (!have) all << g;
    }
    return all;
}

QStringList AllKeys(const TCompletionModel& model) { return model.KeyValues.keys(); }

// The functions that map an output extension to its writer keys and a key to its values.
QString KeyFunctions(const TCompletionModel& model, const QString& lower) {
    QString s;
    s += QStringLiteral("_lumenor_cli_keys() {\n    case %1 in\n").arg(lower);
    // Extensions with the same keys share a branch.
    QMap<QString, QStringList> extsOfKeys;
    for (auto it = model.KeysOfExtension.begin(); it != model.KeysOfExtension.end(); ++it)
        if (!it.value().isEmpty()) extsOfKeys[Words(it.value())] << it.key();
    for (auto it = extsOfKeys.begin(); it != extsOfKeys.end(); ++it)
        s += QStringLiteral("        %1) echo \"%2\" ;;\n").arg(CaseLabels(it.value()), it.key());
    s += QStringLiteral("        *) echo \"%1\" ;;\n    esac\n}\n").arg(Words(AllKeys(model)));
    // Values of a key for an extension ("tif compression"), else of the key for any writer.
    s += QStringLiteral("_lumenor_cli_key_values() {\n    case \"%1 $2\" in\n").arg(lower);
    QMap<QString, QStringList> labelsOfValues; // "key\tvalues" -> "ext key" labels
    for (auto e = model.ValuesOfExtension.begin(); e != model.ValuesOfExtension.end(); ++e)
        for (auto k = e.value().begin(); k != e.value().end(); ++k)
            if (!k.value().isEmpty())
                labelsOfValues[k.key() + QLatin1Char('\t') + Words(k.value())] << QStringLiteral("\"%1 %2\"").arg(e.key(), k.key());
    for (auto it = labelsOfValues.begin(); it != labelsOfValues.end(); ++it)
        s += QStringLiteral("        %1) echo \"%2\" ;;\n").arg(CaseLabels(it.value()), it.key().section(QLatin1Char('\t'), 1));
    for (auto it = model.KeyValues.begin(); it != model.KeyValues.end(); ++it)
        if (!it.value().isEmpty()) s += QStringLiteral("        *\" %1\") echo \"%2\" ;;\n").arg(it.key(), Words(it.value()));
    s += QStringLiteral("    esac\n}\n");
    return s;
}

} // namespace

QStringList PlaceholderValues(const QString& placeholder) {
    if (!placeholder.contains(QLatin1Char('|')) && !placeholder.contains(QLatin1String(".."))) return {};
    static const QRegularExpression range(QStringLiteral("^(-?\\d+)\\.\\.(-?\\d+)$"));
    QStringList values;
    for (const QString& part : placeholder.split(QLatin1Char('|'), Qt::SkipEmptyParts)) {
        const QRegularExpressionMatch m = range.match(part);
        if (m.hasMatch()) {
            const int low = m.captured(1).toInt(), high = m.captured(2).toInt();
            if (high >= low && high - low <= 16)
                for (int n = low; n <= high; ++n) AddUnique(values, {QString::number(n)});
            continue;
        }
        if (part.contains(QLatin1String("..")) || IsPlaceholderWord(part)) continue;
        AddUnique(values, {part});
    }
    return values;
}

QList<TCompletionOption> ParseUsageOptions(const QString& usage) {
    static const QRegularExpression name(QStringLiteral("(?<![\\w-])--([a-z][a-z0-9-]*)"));
    static const QRegularExpression optionLine(QStringLiteral("^\\s+(--[a-z][a-z0-9-]*)(?: (\\S+))?\\s{2,}(\\S.*)$"));
    QList<TCompletionOption> options;
    auto find = [&](const QString& n) -> TCompletionOption& {
        for (TCompletionOption& o : options)
            if (o.Name == n) return o;
        options.append(TCompletionOption{n, {}, {}, {}, false});
        return options.last();
    };
    // Option lines: "  --name [VALUE]   description".
    for (const QString& line : usage.split(QLatin1Char('\n'))) {
        const QRegularExpressionMatch m = optionLine.match(line);
        if (!m.hasMatch()) continue;
        TCompletionOption& o = find(m.captured(1));
        if (!m.captured(2).isEmpty()) o.Placeholder = m.captured(2);
        if (o.Description.isEmpty()) o.Description = m.captured(3).trimmed();
    }
    // Every other mention: in the synopsis ("[--name VALUE]...") the word after it is its value; in prose
    // only a placeholder in capitals is ("--password P").
    for (auto it = name.globalMatch(usage); it.hasNext();) {
        const QRegularExpressionMatch m = it.next();
        TCompletionOption& o = find(m.captured(0));
        const int start = int(m.capturedStart(0)), end = int(m.capturedEnd(0));
        const bool synopsis = start > 0 && usage[start - 1] == QLatin1Char('[');
        const int lineEnd = usage.indexOf(QLatin1Char('\n'), end) < 0 ? int(usage.size()) : usage.indexOf(QLatin1Char('\n'), end);
        const QString rest = usage.mid(end, lineEnd - end);
        if (synopsis) {
            const int close = rest.indexOf(QLatin1Char(']'));
            if (close >= 0 && rest.mid(close + 1).startsWith(QLatin1String("..."))) o.Repeatable = true;
        }
        if (!o.Placeholder.isEmpty() || !rest.startsWith(QLatin1Char(' ')) || rest.size() < 2) continue;
        const QChar next = rest[1];
        if (next.isSpace() || next == QLatin1Char('[') || next == QLatin1Char('-') || next == QLatin1Char('(')) continue;
        const QString value = CutValue(rest.mid(1).section(QLatin1Char(' '), 0, 0));
        if (value.isEmpty()) continue;
        if (synopsis || QRegularExpression(QStringLiteral("^[A-Z][A-Z0-9=]*$")).match(value).hasMatch()) o.Placeholder = value;
    }
    for (TCompletionOption& o : options) o.Values = PlaceholderValues(o.Placeholder);
    return options;
}

QList<TCompletionArgument> ParseUsageArguments(const QString& usage) {
    const QString first = usage.section(QLatin1Char('\n'), 0, 0);
    const QStringList words = first.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    QList<TCompletionArgument> arguments;
    // "Usage:" "lumenor-cli" NAME, then the arguments up to the first option.
    for (int i = 3; i < words.size(); ++i) {
        QString w = words[i];
        if (w.startsWith(QLatin1Char('[')) || w.startsWith(QLatin1Char('-'))) break;
        TCompletionArgument a;
        a.Repeats = w.endsWith(QLatin1String("..."));
        if (a.Repeats) w.chop(3);
        a.Placeholder = w;
        a.Kind = KindOf(w);
        arguments << a;
    }
    return arguments;
}

void ParseWriterKeys(const QString& usage, TCompletionModel& model) {
    const QStringList lines = usage.split(QLatin1Char('\n'));
    int i = 0;
    while (i < lines.size() && !lines[i].startsWith(QLatin1String("Formats written and their options"))) ++i;
    static const QRegularExpression keySpec(QStringLiteral("^([a-z][a-z-]*)=(\\S+)$"));
    QStringList extensions;
    QString openKey, openValue; // a value whose list goes on on the next line ("...|")
    auto store = [&](const QString& key, const QString& value) {
        const QStringList values = PlaceholderValues(value);
        AddUnique(model.KeyValues[key], values);
        for (const QString& e : std::as_const(extensions)) {
            AddUnique(model.KeysOfExtension[e], {key});
            AddUnique(model.ValuesOfExtension[e][key], values);
        }
    };
    for (++i; i < lines.size() && lines[i].startsWith(QLatin1String("  ")); ++i) {
        QStringList words = lines[i].split(QLatin1Char(' '), Qt::SkipEmptyParts);
        if (!openKey.isEmpty() && !words.isEmpty()) {
            store(openKey, openValue + words.takeFirst());
            openKey.clear();
        }
        if (!words.isEmpty() && words.first().startsWith(QLatin1Char('.'))) extensions.clear();
        bool keysStarted = false;
        for (const QString& w : words) {
            const QRegularExpressionMatch m = keySpec.match(w);
            if (m.hasMatch()) {
                keysStarted = true;
                if (m.captured(2).endsWith(QLatin1Char('|'))) {
                    openKey = m.captured(1);
                    openValue = m.captured(2);
                } else {
                    store(m.captured(1), m.captured(2));
                }
            } else if (!keysStarted && w.startsWith(QLatin1Char('.'))) {
                const QString e = w.mid(1).toLower();
                if (!extensions.contains(e)) extensions << e;
                model.KeysOfExtension[e]; // an extension without keys still names a writer
            }
        }
    }
}

TCompletionModel CompletionModel(const QString& globalUsage) {
    TCompletionModel model;
    // The options common to all commands follow the command list (whose synopses name commands' own).
    const int common = int(globalUsage.indexOf(QLatin1String("Common options:")));
    model.GlobalOptions = ParseUsageOptions(common >= 0 ? globalUsage.mid(common) : globalUsage);
    for (const TCliCommand* c : CliCommands()) {
        TCompletionCommand command;
        command.Name = QString::fromUtf8(c->Name);
        command.Summary = SummaryText(QString::fromUtf8(c->Summary));
        const QString usage = QString::fromUtf8(c->Usage);
        command.Arguments = ParseUsageArguments(usage);
        command.Options = ParseUsageOptions(usage);
        bool help = false;
        for (const TCompletionOption& o : command.Options) help = help || o.Name == QLatin1String("--help");
        if (!help) command.Options << TCompletionOption{QStringLiteral("--help"), {}, {}, QStringLiteral("this command's usage"), false};
        ParseWriterKeys(usage, model);
        model.Commands << command;
    }
    QSet<QString> seen;
    for (const TFileFormat& f : FileFormats().Entries()) seen.insert(f.Extension.toLower());
    for (const auto& e : CentralFormats().Extensions()) seen.insert(e.Extension.toLower());
    model.Extensions = QStringList(seen.begin(), seen.end());
    model.Extensions.sort();
    return model;
}

QString BashCompletion(const TCompletionModel& model) {
    QString s;
    s += QStringLiteral(
        "# bash completion for lumenor-cli                                -*- shell-script -*-\n"
        "# Made by `lumenor-cli --generate bash` from the program's own command table.\n"
        "\n"
        "_lumenor_cli_pictures() {\n"
        "    local IFS=$'\\n' f ext\n"
        "    local exts=\" %1 \"\n"
        "    compopt -o filenames 2>/dev/null\n"
        "    for f in $(compgen -f -- \"$1\"); do\n"
        "        if [[ -d $f ]]; then COMPREPLY+=(\"$f\"); continue; fi\n"
        "        ext=${f##*.}\n"
        "        [[ $f == *.* && $exts == *\" ${ext,,} \"* ]] && COMPREPLY+=(\"$f\")\n"
        "    done\n"
        "}\n"
        "_lumenor_cli_files() {\n"
        "    local IFS=$'\\n'\n"
        "    compopt -o filenames 2>/dev/null\n"
        "    COMPREPLY+=($(compgen -f -- \"$1\"))\n"
        "}\n"
        "_lumenor_cli_folders() {\n"
        "    local IFS=$'\\n'\n"
        "    compopt -o filenames 2>/dev/null\n"
        "    COMPREPLY+=($(compgen -d -- \"$1\"))\n"
        "}\n")
             .arg(Words(model.Extensions));
    s += KeyFunctions(model, QStringLiteral("${1,,}"));

    // Options that take a value, per command ("convert --page").
    QStringList valueLabels, globalValue;
    for (const TCompletionOption& g : model.GlobalOptions)
        if (g.TakesValue()) globalValue << g.Name;
    for (const TCompletionCommand& c : model.Commands)
        for (const TCompletionOption& o : OptionsOf(model, c))
            if (o.TakesValue()) valueLabels << QStringLiteral("\"%1 %2\"").arg(c.Name, o.Name);
    s += QStringLiteral(
             "_lumenor_cli_takes_value() {\n"
             "    case \"$1 $2\" in\n"
             "        %1) return 0 ;;\n"
             "    esac\n"
             "    return 1\n"
             "}\n")
             .arg(CaseLabels(valueLabels));

    QStringList commandNames, globalNames;
    for (const TCompletionCommand& c : model.Commands) commandNames << c.Name;
    for (const TCompletionOption& g : model.GlobalOptions) globalNames << g.Name;
    s += QStringLiteral(
             "_lumenor_cli() {\n"
             "    local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD-1]}\n"
             "    local prefix=\"\" key=\"\" keyopt=\"\"\n"
             "    COMPREPLY=()\n"
             "    # KEY=VALUE: bash splits the word at '=' unless COMP_WORDBREAKS lacks it.\n"
             "    if [[ $cur == = ]]; then\n"
             "        key=${COMP_WORDS[COMP_CWORD-1]} keyopt=${COMP_WORDS[COMP_CWORD-2]} cur=\"\"\n"
             "    elif [[ $prev == = ]]; then\n"
             "        key=${COMP_WORDS[COMP_CWORD-2]} keyopt=${COMP_WORDS[COMP_CWORD-3]}\n"
             "    elif [[ $cur == *=* && $prev == --* ]]; then\n"
             "        key=${cur%%=*} keyopt=$prev prefix=\"$key=\" cur=${cur#*=}\n"
             "    fi\n"
             "    local i w cmd=\"\" pos=()\n"
             "    for ((i = 1; i < COMP_CWORD; i++)); do\n"
             "        w=${COMP_WORDS[i]}\n"
             "        if [[ -z $cmd ]]; then\n"
             "            case $w in\n"
             "                %1) ((i++)) ;;\n"
             "                -*) ;;\n"
             "                *) cmd=$w ;;\n"
             "            esac\n"
             "        else\n"
             "            case $w in\n"
             "                =) ((i++)) ;;\n"
             "                -*) if _lumenor_cli_takes_value \"$cmd\" \"$w\"; then ((i++)); fi ;;\n"
             "                *) pos+=(\"$w\") ;;\n"
             "            esac\n"
             "        fi\n"
             "    done\n"
             "    if [[ -z $cmd ]]; then\n"
             "        case $prev in %1) return 0 ;; esac\n"
             "        if [[ $cur == -* ]]; then\n"
             "            COMPREPLY=($(compgen -W \"%2\" -- \"$cur\"))\n"
             "        else\n"
             "            COMPREPLY=($(compgen -W \"%3\" -- \"$cur\"))\n"
             "        fi\n"
             "        return 0\n"
             "    fi\n")
             .arg(globalValue.isEmpty() ? QStringLiteral("--") : CaseLabels(globalValue), Words(globalNames),
                  Words(commandNames));

    // The output file, whose extension names the keys of --option KEY=VALUE and their values.
    s += QStringLiteral("    local out=\"\"\n    case $cmd in\n");
    for (const TCompletionCommand& c : model.Commands)
        for (int i = 0; i < c.Arguments.size(); ++i)
            if (c.Arguments[i].Kind == TCompletionArgKind::akFile) {
                s += QStringLiteral("        %1) out=${pos[%2]} ;;\n").arg(c.Name).arg(i);
                break;
            }
    s += QStringLiteral("    esac\n");
    // KEY=VALUE options: the values of the key.
    s += QStringLiteral(
        "    if [[ -n $keyopt ]] && _lumenor_cli_takes_value \"$cmd\" \"$keyopt\"; then\n"
        "        local v\n"
        "        for v in $(_lumenor_cli_key_values \"${out##*.}\" \"$key\"); do\n"
        "            [[ $v == \"$cur\"* ]] && COMPREPLY+=(\"$prefix$v\")\n"
        "        done\n"
        "        return 0\n"
        "    fi\n"
        "    local n=${#pos[@]}\n"
        "    case \"$cmd $prev\" in\n");
    for (const TCompletionCommand& c : model.Commands) {
        for (const TCompletionOption& o : OptionsOf(model, c)) {
            if (!o.TakesValue()) continue;
            s += QStringLiteral("        \"%1 %2\")\n").arg(c.Name, o.Name);
            if (o.Placeholder == QLatin1String("KEY=VALUE") && !model.KeyValues.isEmpty()) {
                s += QStringLiteral(
                    "            local k\n"
                    "            compopt -o nospace 2>/dev/null\n"
                    "            for k in $(_lumenor_cli_keys \"${out##*.}\"); do\n"
                    "                [[ $k == \"$cur\"* ]] && COMPREPLY+=(\"$k=\")\n"
                    "            done\n"
                    "            return 0 ;;\n");
            } else if (!o.Values.isEmpty()) {
                s += QStringLiteral("            COMPREPLY=($(compgen -W \"%1\" -- \"$cur\"))\n            return 0 ;;\n")
                         .arg(Words(o.Values));
            } else {
                s += QStringLiteral("            return 0 ;;\n");
            }
        }
    }
    s += QStringLiteral("    esac\n    if [[ $cur == -* ]]; then\n        case $cmd in\n");
    for (const TCompletionCommand& c : model.Commands) {
        QStringList names;
        for (const TCompletionOption& o : OptionsOf(model, c)) names << o.Name;
        s += QStringLiteral("            %1) COMPREPLY=($(compgen -W \"%2\" -- \"$cur\")) ;;\n").arg(c.Name, Words(names));
    }
    s += QStringLiteral("        esac\n        return 0\n    fi\n    case \"$cmd $n\" in\n");
    auto action = [](TCompletionArgKind kind) {
        switch (kind) {
        case TCompletionArgKind::akPicture: return QStringLiteral("_lumenor_cli_pictures \"$cur\"");
        case TCompletionArgKind::akFile: return QStringLiteral("_lumenor_cli_files \"$cur\"");
        case TCompletionArgKind::akFolder: return QStringLiteral("_lumenor_cli_folders \"$cur\"");
        case TCompletionArgKind::akNone: break;
        }
        return QStringLiteral(":");
    };
    for (const TCompletionCommand& c : model.Commands) {
        for (int i = 0; i < c.Arguments.size(); ++i) {
            const TCompletionArgument& a = c.Arguments[i];
            const QString label = a.Repeats ? QStringLiteral("\"%1 \"*").arg(c.Name) : QStringLiteral("\"%1 %2\"").arg(c.Name).arg(i);
            s += QStringLiteral("        %1) %2 ;;\n").arg(label, action(a.Kind));
        }
    }
    s += QStringLiteral(
        "    esac\n"
        "    return 0\n"
        "}\n"
        "complete -F _lumenor_cli lumenor-cli\n");
    return s;
}

QString ZshCompletion(const TCompletionModel& model) {
    QStringList patterns;
    QString s;
    s += QStringLiteral(
             "#compdef lumenor-cli\n"
             "# zsh completion for lumenor-cli, made by `lumenor-cli --generate zsh` from the program's own\n"
             "# command table.\n"
             "\n"
             "_lumenor_cli_pictures() {\n"
             "    _files -g '*.(#i)(%1)(-.)'\n"
             "}\n")
             .arg(CaseLabels(model.Extensions));
    s += KeyFunctions(model, QStringLiteral("${(L)1}"));
    s += QStringLiteral(
        "_lumenor_cli_option_value() {\n"
        "    local out=$1\n"
        "    if compset -P '*='; then\n"
        "        local -a values\n"
        "        values=(${=\"$(_lumenor_cli_key_values \"${out:e}\" \"${IPREFIX%=}\")\"})\n"
        "        compadd -a values\n"
        "    else\n"
        "        local -a keys\n"
        "        keys=(${=\"$(_lumenor_cli_keys ${out:e})\"})\n"
        "        compadd -S '=' -a keys\n"
        "    fi\n"
        "}\n"
        "\n");

    auto describe = [&](const TCompletionOption& o, int outIndex) {
        QString text = QStringLiteral("'%1%2[%3]").arg(o.Repeatable ? QStringLiteral("*") : QString(), o.Name,
                                                        ZshDescription(o.Description.isEmpty() ? o.Name.mid(2) : o.Description));
        if (o.TakesValue()) {
            const QString message = ZshDescription(o.Placeholder).replace(QLatin1Char(':'), QLatin1Char(' '));
            if (o.Placeholder == QLatin1String("KEY=VALUE"))
                text += QStringLiteral(":%1:{_lumenor_cli_option_value %2}").arg(message,
                            outIndex >= 0 ? QStringLiteral("\"$line[%1]\"").arg(outIndex + 1) : QStringLiteral("''"));
            else if (!o.Values.isEmpty())
                text += QStringLiteral(":%1:(%2)").arg(message, Words(o.Values));
            else
                text += QStringLiteral(":%1: ").arg(message);
        }
        return text + QLatin1Char('\'');
    };

    s += QStringLiteral(
        "_lumenor-cli() {\n"
        "    local curcontext=$curcontext state line ret=1\n"
        "    typeset -A opt_args\n"
        "    _arguments -C \\\n");
    for (const TCompletionOption& g : model.GlobalOptions) {
        if (g.Name == QLatin1String("--help") || g.Name == QLatin1String("--version"))
            s += QStringLiteral("        '(- *)%1[%2]' \\\n").arg(g.Name, g.Name == QLatin1String("--help") ? QStringLiteral("the usage") : QStringLiteral("the version of the program"));
        else
            s += QStringLiteral("        %1 \\\n").arg(describe(g, -1));
    }
    s += QStringLiteral(
        "        '1:command:->command' \\\n"
        "        '*::argument:->argument' && ret=0\n"
        "    case $state in\n"
        "    command)\n"
        "        local -a commands\n"
        "        commands=(\n");
    for (const TCompletionCommand& c : model.Commands)
        s += QStringLiteral("            '%1:%2'\n").arg(c.Name, ShellQuoted(c.Summary));
    s += QStringLiteral(
        "        )\n"
        "        _describe -t commands 'lumenor-cli command' commands && ret=0\n"
        "        ;;\n"
        "    argument)\n"
        "        curcontext=${curcontext%:*:*}:lumenor-cli-$words[1]:\n"
        "        case $words[1] in\n");
    for (const TCompletionCommand& c : model.Commands) {
        int outIndex = -1;
        for (int i = 0; i < c.Arguments.size(); ++i)
            if (c.Arguments[i].Kind == TCompletionArgKind::akFile && outIndex < 0) outIndex = i;
        s += QStringLiteral("        %1)\n            _arguments \\\n").arg(c.Name);
        for (const TCompletionOption& o : OptionsOf(model, c)) s += QStringLiteral("                %1 \\\n").arg(describe(o, outIndex));
        for (int i = 0; i < c.Arguments.size(); ++i) {
            const TCompletionArgument& a = c.Arguments[i];
            QString act;
            switch (a.Kind) {
            case TCompletionArgKind::akPicture: act = QStringLiteral("_lumenor_cli_pictures"); break;
            case TCompletionArgKind::akFile: act = QStringLiteral("_files"); break;
            case TCompletionArgKind::akFolder: act = QStringLiteral("_files -/"); break;
            case TCompletionArgKind::akNone: act = QStringLiteral(" "); break;
            }
            s += QStringLiteral("                '%1:%2:%3' \\\n").arg(a.Repeats ? QStringLiteral("*") : QString::number(i + 1),
                                                                    a.Placeholder, act);
        }
        s += QStringLiteral("                && ret=0\n            ;;\n");
    }
    s += QStringLiteral(
        "        esac\n"
        "        ;;\n"
        "    esac\n"
        "    return ret\n"
        "}\n"
        "\n"
        "_lumenor-cli \"$@\"\n");
    return s;
}

QString ManPageCommands() {
    QString s;
    for (const TCliCommand* c : CliCommands()) {
        s += QStringLiteral(".SS %1\n.nf\n").arg(QString::fromUtf8(c->Name));
        QStringList lines = QString::fromUtf8(c->Usage).split(QLatin1Char('\n'));
        // The synopsis without "Usage: ", its continuation lines kept in step.
        if (lines.first().startsWith(QLatin1String("Usage: "))) {
            lines.first().remove(0, 7);
            for (int i = 1; i < lines.size() && lines[i].startsWith(QLatin1String("       ")); ++i) lines[i].remove(0, 7);
        }
        for (QString line : std::as_const(lines)) {
            line.replace(QLatin1Char('\\'), QLatin1String("\\e")).replace(QLatin1Char('-'), QLatin1String("\\-"));
            if (line.startsWith(QLatin1Char('.')) || line.startsWith(QLatin1Char('\''))) line.prepend(QLatin1String("\\&"));
            s += line + QLatin1Char('\n');
        }
        while (s.endsWith(QLatin1String("\n\n"))) s.chop(1);
        s += QStringLiteral(".fi\n");
    }
    return s;
}
