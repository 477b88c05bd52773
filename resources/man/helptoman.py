#!/usr/bin/env python3
"""Makes a manual page from a program's own --help, so that the page cannot tell of
options the program no longer has, nor miss new ones.

    helptoman.py TEMPLATE OUTPUT PROGRAM [ARGUMENT...]

PROGRAM [ARGUMENT...] is run with --version and --help. In TEMPLATE, a roff page with
the prose the help does not hold, these lines are replaced:
  @SYNOPSIS@     the help's usage lines
  @DESCRIPTION@  its paragraphs
  @OPTIONS@      its lists ("Options:", "Arguments:") as tagged paragraphs
  @COMMANDS@     for each entry of its "Commands:" list, a subsection with the entry's
                 text and that command's own --help
and @VERSION@ anywhere by the last word of --version.
"""
import re
import subprocess
import sys

MAX_HELP = 1 << 20


def run(program, *arguments):
    result = subprocess.run(program + list(arguments), capture_output=True, timeout=60)
    if result.returncode != 0:
        sys.exit("helptoman: %s %s ended with %d: %s" % (" ".join(program), " ".join(arguments),
                                                         result.returncode,
                                                         result.stderr.decode(errors="replace")[:2000]))
    if len(result.stdout) > MAX_HELP:
        sys.exit("helptoman: the help of %s is too long" % " ".join(program))
    return result.stdout.decode("utf-8")


def escape(text):
    text = text.replace("\\", "\\e").replace("-", "\\-")
    return "\\&" + text if text[:1] in (".", "'") else text


def styled(words):
    """Options in bold, placeholders (<FILE>, SOURCE) in italics."""
    out = []
    for token in re.split(r"(\s+|,)", words):
        if not token or token.isspace() or token == ",":
            out.append(token)
        elif token.startswith("-"):
            out.append("\\fB%s\\fR" % escape(token))
        elif re.fullmatch(r"<[^>]+>", token):
            out.append("\\fI%s\\fR" % escape(token[1:-1]))
        elif re.fullmatch(r"[\[]?[A-Z][A-Z_]*[\]]?", token):
            inner = token.strip("[]")
            out.append(token[: token.index(inner)] + "\\fI%s\\fR" % inner + token[token.index(inner) + len(inner):])
        else:
            out.append(escape(token))
    return "".join(out)


def blocks(text):
    current = []
    for line in text.splitlines():
        if line.strip():
            current.append(line.rstrip())
        elif current:
            yield current
            current = []
    if current:
        yield current


def entries(lines):
    """The entries of a list block: a term at column 2, its text at a column of its own,
    the text's further lines indented to that column."""
    column = 0
    for line in lines:
        found = re.match(r"^  \S.*?\s{2,}(?=\S)", line)
        if found:
            column = found.end()
            break
    result = []
    for line in lines:
        if column and line[:column].strip() == "" and result:
            result[-1][1].append(line.strip())
        elif column and len(line) > column and line[column - 1] == " " and line[:column].strip():
            result.append((line[:column].strip(), [line[column:].strip()]))
        else:
            result.append((line.strip(), []))
    return [(term, " ".join(text)) for term, text in result]


def parse(help_text):
    usage, paragraphs, lists = [], [], []
    for block in blocks(help_text):
        if block[0].startswith("Usage: "):
            usage.append(block[0][len("Usage: "):].strip())
            rest = block[1:]
            while rest and rest[0].startswith("       "):
                usage.append(rest.pop(0).strip())
            if rest:
                paragraphs.append(" ".join(line.strip() for line in rest))
        elif re.fullmatch(r"[A-Z][A-Za-z ]*:", block[0]) and len(block) > 1:
            lists.append((block[0][:-1], entries(block[1:])))
        else:
            # A line ending a sentence before one starting with a capital ends a paragraph.
            current = []
            for line in block:
                if current and current[-1].endswith(".") and line.strip()[:1].isupper():
                    paragraphs.append(" ".join(current))
                    current = []
                current.append(line.strip())
            paragraphs.append(" ".join(current))
    return usage, paragraphs, lists


def synopsis(usage, program_words):
    out = []
    for line in usage:
        words = line.split()
        fixed = 0
        while fixed < len(words) and re.fullmatch(r"[a-z][a-z0-9-]*", words[fixed]):
            fixed += 1
        fixed = max(fixed, 1)
        out.append("\\fB%s\\fR %s" % (escape(" ".join(words[:fixed])), styled(" ".join(words[fixed:]))))
    return "\n.br\n".join(out)


def tagged(items):
    out = []
    for term, text in items:
        out += [".TP", styled(term), escape(text) if text else ""]
    return [line for line in out if line != ""]


def listings(lists, skip=()):
    out = []
    for title, items in lists:
        if title in skip:
            continue
        if title not in ("Options",):
            out += [".PP", "\\fB%s:\\fR" % escape(title)]
        out += tagged(items)
    return out


def command_name(term):
    words = []
    for word in term.split():
        if not re.fullmatch(r"[a-z][a-z0-9-]*", word):
            break
        words.append(word)
    return words


def main():
    if len(sys.argv) < 4:
        sys.exit(__doc__)
    template, output, program = sys.argv[1], sys.argv[2], sys.argv[3:]
    version = run(program, "--version").split()[-1]
    help_text = run(program, "--help")
    usage, paragraphs, lists = parse(help_text)

    commands = []
    for title, items in lists:
        if title != "Commands":
            continue
        for term, text in items:
            name = command_name(term)
            if not name:
                sys.exit("helptoman: no command in \"%s\"" % term)
            c_usage, c_paragraphs, c_lists = parse(run(program, *name, "--help"))
            commands += [".SS %s" % escape(" ".join(name)), ".PP", synopsis(c_usage, name)]
            if text:
                commands += [".PP", escape(text[:1].upper() + text[1:]) + ("" if text.endswith(".") else ".")]
            for paragraph in c_paragraphs:
                commands += [".PP", escape(paragraph)]
            commands += listings(c_lists)

    replacements = {
        "@SYNOPSIS@": [synopsis(usage, [])],
        "@DESCRIPTION@": sum(([".PP", escape(p)] for p in paragraphs), [])[1:],
        "@OPTIONS@": listings(lists, skip=("Commands",)),
        "@COMMANDS@": commands,
    }
    page = []
    with open(template, encoding="utf-8") as source:
        for line in source.read().splitlines():
            line = line.replace("@VERSION@", escape(version))
            page += replacements.get(line.strip(), [line])
    with open(output, "w", encoding="utf-8") as target:
        target.write("\n".join(page) + "\n")


if __name__ == "__main__":
    main()
