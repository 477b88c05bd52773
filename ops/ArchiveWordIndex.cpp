#include "ops/ArchiveWordIndex.h"

#include <QChar>

#include <algorithm>
#include <vector>

namespace {

// Han and kana: scripts written without spaces, where each character is taken as a word.
bool standsAlone(char32_t c)
{
    return (c >= 0x3040 && c <= 0x30ff) || (c >= 0x3400 && c <= 0x4dbf) || (c >= 0x4e00 && c <= 0x9fff) ||
           (c >= 0xf900 && c <= 0xfaff) || (c >= 0x20000 && c <= 0x2ffff);
}

// What a character of the Basic Multilingual Plane is to a word once folded on its own,
// with the character it folds to in the low 16 bits. A text whose characters each fold on
// their own, as those of most alphabets do, needs no decomposition as a whole.
enum Fold : quint32 {
    Drop = 0,         // a combining accent, folded away
    Break = 1 << 16,  // ends a word
    Letter = 2 << 16, // goes on the word, as the character given
    Alone = 3 << 16,  // a word of its own
    Whole = 4 << 16,  // decomposes into several characters, or is a mark that
                      // decomposition may move: the text is decomposed whole
};
constexpr quint32 FoldKinds = 0xffff0000u;

quint32 foldOf(char16_t c)
{
    if (QChar::isSurrogate(c))
        return Whole;
    if (c >= 0x300 && c <= 0x36f)
        return Drop;
    if (QChar::combiningClass(c) != 0)
        return Whole;
    char32_t folded = c;
    if (QChar::decompositionTag(c) == QChar::Canonical) {
        QString decomposed = QString(QChar(c)).normalized(QString::NormalizationForm_D);
        decomposed.removeIf([](QChar d) { return d.unicode() >= 0x300 && d.unicode() <= 0x36f; });
        if (decomposed.isEmpty())
            return Drop;
        if (decomposed.size() > 1 || decomposed.front().combiningClass() != 0)
            return Whole;
        folded = decomposed.front().unicode();
    }
    if (standsAlone(folded))
        return Alone | folded;
    if (!QChar::isLetterOrNumber(folded) && !QChar::isMark(folded))
        return Break;
    const char32_t lower = QChar::toLower(folded);
    if (lower > 0xffff)
        return Whole;
    return Letter | (lower == 0x3c2 ? 0x3c3 : lower); // final sigma as sigma
}

const std::vector<quint32>& foldTable()
{
    static const std::vector<quint32> table = [] {
        std::vector<quint32> made(0x10000);
        for (char32_t c = 0; c < 0x10000; ++c)
            made[c] = foldOf(char16_t(c));
        return made;
    }();
    return table;
}

// Whether every character of text folds on its own (characters beyond the Basic
// Multilingual Plane do when they have no decomposition and are no mark that moves).
bool foldsByTable(QStringView text, const std::vector<quint32>& table)
{
    const char16_t* in = text.utf16();
    const char16_t* const end = in + text.size();
    while (in != end) {
        const char16_t c = *in++;
        if (c < 0x80)
            continue;
        if (QChar::isHighSurrogate(c) && in != end && QChar::isLowSurrogate(*in)) {
            const char32_t code = QChar::surrogateToUcs4(c, *in++);
            if (QChar::decompositionTag(code) == QChar::Canonical || QChar::combiningClass(code) != 0)
                return false;
        } else if ((table[c] & FoldKinds) == Whole) {
            return false;
        }
    }
    return true;
}

void appendBase36(QByteArray& out, quint32 value)
{
    char digits[8];
    int used = 0;
    do {
        digits[used++] = "0123456789abcdefghijklmnopqrstuvwxyz"[value % 36];
        value /= 36;
    } while (value);
    while (used)
        out += digits[--used];
}

// A bucket's JSON near this size: a search loads one, and a hundred thousand messages
// make about three.
constexpr qsizetype BucketBytes = 100 * 1024;
constexpr int MaxBuckets = 1024;

} // namespace

void ArchiveWordIndex::add(QStringView text)
{
    const std::vector<quint32>& table = foldTable();
    const bool byTable = foldsByTable(text, table);
    QString decomposed;
    if (!byTable) {
        decomposed = text.toString().normalized(QString::NormalizationForm_D);
        text = decomposed;
    }
    const char16_t* in = text.utf16();
    const char16_t* const end = in + text.size();
    while (in != end) {
        char32_t c = *in++;
        if (c < 0x80) {
            if ((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9'))
                put(char16_t(c));
            else if (c >= 'A' && c <= 'Z')
                put(char16_t(c + ('a' - 'A')));
            else
                endWord();
            continue;
        }
        if (byTable && !QChar::isSurrogate(c)) {
            const quint32 fold = table[c];
            switch (fold & FoldKinds) {
            case Drop:
                break;
            case Letter:
                put(char16_t(fold));
                break;
            case Alone:
                endWord();
                put(char16_t(fold));
                endWord();
                break;
            default:
                endWord();
                break;
            }
            continue;
        }
        if (QChar::isHighSurrogate(c) && in != end && QChar::isLowSurrogate(*in))
            c = QChar::surrogateToUcs4(char16_t(c), *in++);
        if (c >= 0x300 && c <= 0x36f) // the accents folded away; the word goes on
            continue;
        if (standsAlone(c)) {
            endWord();
            putCodePoint(c);
            endWord();
        } else if (QChar::isLetterOrNumber(c) || QChar::isMark(c)) {
            const char32_t lower = QChar::toLower(c);
            putCodePoint(lower == 0x3c2 ? 0x3c3 : lower); // final sigma as sigma
        } else {
            endWord();
        }
    }
    endWord();
    m_messageEnds.push_back(qsizetype(m_messageWords.size()));
}

void ArchiveWordIndex::putCodePoint(char32_t c)
{
    if (QChar::requiresSurrogates(c)) {
        put(QChar::highSurrogate(c));
        put(QChar::lowSurrogate(c));
    } else {
        put(char16_t(c));
    }
}

void ArchiveWordIndex::endWord()
{
    if (m_wordUnits == 0)
        return;
    const QStringView word(m_word, std::min(m_wordUnits, MaxWordUnits));
    m_wordUnits = 0;
    const qint32 id = wordId(word);
    const auto message = qint32(m_messageEnds.size());
    if (m_lastMessage[id] != message) {
        m_lastMessage[id] = message;
        m_messageWords.push_back(id);
    }
}

// A table of its own rather than a QHash: words are short and most are met again and
// again, so looking them up is much of the indexing, and FNV-1a over a few units costs
// less than Qt's hash of a string.
qint32 ArchiveWordIndex::wordId(QStringView word)
{
    quint32 hash = 2166136261u;
    for (const QChar c : word)
        hash = (hash ^ c.unicode()) * 16777619u;
    if (m_slots.empty())
        growSlots();
    const size_t mask = m_slots.size() - 1;
    size_t slot = hash & mask;
    for (; m_slots[slot] >= 0; slot = (slot + 1) & mask) {
        const qint32 id = m_slots[slot];
        if (m_hashes[id] == hash && m_words[id] == word)
            return id;
    }
    const auto id = qint32(m_words.size());
    m_words.push_back(word.toString());
    m_hashes.push_back(hash);
    m_lastMessage.push_back(-1);
    m_slots[slot] = id;
    if (m_words.size() * 2 > m_slots.size())
        growSlots();
    return id;
}

void ArchiveWordIndex::growSlots()
{
    m_slots.assign(std::max<size_t>(1024, m_slots.size() * 2), -1);
    const size_t mask = m_slots.size() - 1;
    for (qint32 id = 0; id < qint32(m_hashes.size()); ++id) {
        size_t slot = m_hashes[id] & mask;
        while (m_slots[slot] >= 0)
            slot = (slot + 1) & mask;
        m_slots[slot] = id;
    }
}

int ArchiveWordIndex::suitableBuckets() const
{
    // About three bytes a message's word costs in the JSON, and each word its own text.
    const qsizetype bytes = qsizetype(m_messageWords.size()) * 3 + qsizetype(m_words.size()) * 12;
    return int(std::clamp<qsizetype>(bytes / BucketBytes + 1, 1, MaxBuckets));
}

int ArchiveWordIndex::bucketOf(QStringView word, int buckets)
{
    quint32 hash = 2166136261u;
    for (const QChar c : word.left(2))
        hash = (hash ^ c.unicode()) * 16777619u;
    return int(hash % quint32(buckets));
}

QList<QByteArray> ArchiveWordIndex::bucketsJson(const std::vector<qint32>& byRank, int buckets) const
{
    // The (word, rank) pairs sorted by word: walking the messages by rank lists each
    // word's ranks in ascending order.
    const qsizetype words = qsizetype(m_words.size());
    std::vector<qsizetype> start(words + 1, 0);
    for (const qint32 id : m_messageWords)
        ++start[id + 1];
    for (qsizetype w = 0; w < words; ++w)
        start[w + 1] += start[w];
    std::vector<qsizetype> next(start.begin(), start.end() - 1);
    std::vector<qint32> ranks(m_messageWords.size());
    for (qsizetype rank = 0; rank < qsizetype(byRank.size()); ++rank) {
        const qint32 message = byRank[rank];
        const qsizetype first = message ? m_messageEnds[message - 1] : 0;
        for (qsizetype i = first; i < m_messageEnds[message]; ++i)
            ranks[next[m_messageWords[i]]++] = qint32(rank);
    }

    QList<QByteArray> json(buckets);
    for (qsizetype w = 0; w < words; ++w) {
        QByteArray& out = json[bucketOf(m_words[w], buckets)];
        out += out.isEmpty() ? '{' : ',';
        out += '"';
        out += m_words[w].toUtf8(); // letters, marks and digits: nothing to escape
        out += "\":\"";
        qint32 previous = 0;
        for (qsizetype i = start[w]; i < start[w + 1]; ++i) {
            if (i > start[w])
                out += ',';
            appendBase36(out, quint32(ranks[i] - previous));
            previous = ranks[i];
        }
        out += '"';
    }
    for (QByteArray& out : json)
        out += out.isEmpty() ? "{}" : "}";
    return json;
}
