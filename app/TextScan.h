#pragma once

#include <QStringView>

// One UTF-16 unit looked for by hand. Qt 6.4's QStringView::lastIndexOf(QChar) takes its
// general search path, which showed in the profiles of loads and exports that take
// hundreds of thousands of paths and file names apart.
namespace TextScan {

inline qsizetype lastIndexOf(QStringView text, char16_t unit)
{
    for (qsizetype i = text.size() - 1; i >= 0; --i) {
        if (text[i] == unit)
            return i;
    }
    return -1;
}

// Where the last '/' of a path is, or -1.
inline qsizetype lastSlash(QStringView path)
{
    return lastIndexOf(path, u'/');
}

} // namespace TextScan
