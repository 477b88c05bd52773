#include "db/Emoticons.h"

#include <QRegularExpression>
#include <QtEndian>

namespace Emoticons {

const QHash<QString, int>& emoticonTable()
{
    // A function-local static is initialised once even when two threads ask first.
    static const QHash<QString, int> table = [] {
        static const struct
        {
            const char* code;
            int number;
        } entries[] = {
            {"(smiley)", 58},
            {"(sad)", 53},
            {"(wink)", 71},
            {"(angry)", 4},
            {"(inlove)", 31},
            {"(yummi)", 72},
            {"(laugh)", 33},
            {"(surprised)", 62},
            {"(moa)", 37},
            {"(happy)", 27},
            {"(cry)", 19},
            {"(sick)", 55},
            {"(shy)", 54},
            {"(teeth)", 64},
            {"(tongue)", 66},
            {"(money)", 38},
            {"(mad)", 36},
            {"(flirt)", 24},
            {"(crazy)", 18},
            {"(confused)", 15},
            {"(depressed)", 107},
            {"(scream)", 108},
            {"(nerd)", 41},
            {"(not_sure)", 42},
            {"(cool)", 17},
            {"(devil)", 21},
            {"(angel)", 3},
            {"(heart)", 28},
            {"(purple_heart)", 48},
            {"(heart_break)", 29},
            {"(V)", 69},
            {"(unlike)", 68},
            {"(like)", 35},
            {"(!)", 0},
            {"(Q)", 49},
            {"(kiss)", 32},
            {"(ice_cream)", 30},
            {"(cupcake)", 20},
            {"(burger)", 8},
            {"(pizza)", 45},
            {"(wine)", 70},
            {"(beer)", 7},
            {"(soda)", 60},
            {"(coffee)", 14},
            {"(popcorn)", 47},
            {"(poo)", 46},
            {"(cigarette)", 12},
            {"($)", 1},
            {"(car)", 9},
            {"(airplane)", 2},
            {"(sun)", 61},
            {"(moon)", 39},
            {"(rain)", 50},
            {"(cloud)", 13},
            {"(zzz)", 73},
            {"(skull)", 56},
            {"(fire)", 23},
            {"(music)", 40},
            {"(flower)", 25},
            {"(christmas_tree)", 11},
            {"(monkey)", 109},
            {"(chick)", 110},
            {"(cat)", 10},
            {"(dog)", 22},
            {"(pig)", 44},
            {"(koala)", 111},
            {"(kangaroo)", 112},
            {"(ladybug)", 113},
            {"(panda)", 114},
            {"(sheep)", 115},
            {"(soccer)", 59},
            {"(football)", 26},
            {"(basketball)", 6},
            {"(baseball)", 5},
            {"(relax)", 51},
            {"(tape)", 63},
            {"(phone)", 43},
            {"(console)", 16},
            {"(time)", 65},
            {"(TV)", 67},
            {"(light_bulb)", 34},
            {"(run)", 52},
            {"(clap)", 116},
            {"(bicycle)", 117},
            {"(cards)", 118},
        };
        QHash<QString, int> result;
        for (const auto& entry : entries)
            result.insert(QString::fromLatin1(entry.code), entry.number);
        return result;
    }();
    return table;
}

QByteArray emoticonRanges(const QString& text)
{
    static const QRegularExpression pattern(QStringLiteral("\\([^\\(\\)]+\\)"));
    const QHash<QString, int>& table = emoticonTable();
    QByteArray ranges;
    auto it = pattern.globalMatch(text);
    while (it.hasNext()) {
        const QRegularExpressionMatch match = it.next();
        const auto found = table.constFind(match.captured(0));
        if (found == table.constEnd())
            continue;
        char record[12];
        qToLittleEndian<qint32>(qint32(match.capturedStart(0)), record);
        qToLittleEndian<qint32>(qint32(match.capturedLength(0)), record + 4);
        qToLittleEndian<qint32>(qint32(found.value()), record + 8);
        ranges.append(record, sizeof record);
    }
    return ranges;
}

} // namespace Emoticons
