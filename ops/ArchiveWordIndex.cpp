#include "ops/ArchiveWordIndex.h"

#include <QChar>

#include <algorithm>

namespace {

bool isAscii(QStringView text)
{
    return std::all_of(text.begin(), text.end(), [](QChar c) { return c.unicode() < 0x80; });
}

// Han and kana: scripts written without spaces, where each character is taken as a word.
bool standsAlone(char32_t c)
{
    return (c >= 0x3040 && c <= 0x30ff) || (c >= 0x3400 && c <= 0x4dbf) || (c >= 0x4e00 && c <= 0x9fff) ||
           (c >= 0xf900 && c <= 0xfaff) || (c >= 0x20000 && c <= 0x2ffff);
}

void appendCodePoint(QString& out, char32_t c)
{
    if (QChar::requiresSurrogates(c)) {
        out += QChar(QChar::highSurrogate(c));
        out += QChar(QChar::lowSurrogate(c));
    } else {
        out += QChar(char16_t(c));
    }
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
    QString decomposed;
    if (!isAscii(text)) {
        decomposed = text.toString().normalized(QString::NormalizationForm_D);
        text = decomposed;
    }
    const char16_t* in = text.utf16();
    const char16_t* const end = in + text.size();
    while (in != end) {
        char32_t c = *in++;
        if (c < 0x80) {
            if ((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9'))
                m_word += QChar(char16_t(c));
            else if (c >= 'A' && c <= 'Z')
                m_word += QChar(char16_t(c + ('a' - 'A')));
            else
                endWord();
            continue;
        }
        if (QChar::isHighSurrogate(c) && in != end && QChar::isLowSurrogate(*in))
            c = QChar::surrogateToUcs4(char16_t(c), *in++);
        if (c >= 0x300 && c <= 0x36f) // the accents folded away; the word goes on
            continue;
        if (standsAlone(c)) {
            endWord();
            appendCodePoint(m_word, c);
            endWord();
        } else if (QChar::isLetterOrNumber(c) || QChar::isMark(c)) {
            const char32_t lower = QChar::toLower(c);
            appendCodePoint(m_word, lower == 0x3c2 ? 0x3c3 : lower); // final sigma as sigma
        } else {
            endWord();
        }
    }
    endWord();
    m_messageEnds.push_back(qsizetype(m_messageWords.size()));
}

void ArchiveWordIndex::endWord()
{
    if (m_word.isEmpty())
        return;
    m_word.truncate(MaxWordUnits);
    qint32 id;
    const auto known = m_ids.constFind(QStringView(m_word));
    if (known == m_ids.constEnd()) {
        id = qint32(m_words.size());
        m_words.push_back(m_word);
        m_ids.insert(QStringView(m_words.back()), id);
        m_lastMessage.push_back(-1);
    } else {
        id = *known;
    }
    const auto message = qint32(m_messageEnds.size());
    if (m_lastMessage[id] != message) {
        m_lastMessage[id] = message;
        m_messageWords.push_back(id);
    }
    m_word.resize(0); // keeps its capacity for the next word
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
