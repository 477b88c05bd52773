#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringView>

#include <deque>
#include <vector>

// The words of an HTML archive's messages, for a search that opens only the little it
// needs from the disk: for every word, the messages that hold it. Words are folded as the
// archive's search code folds what a person types (canonical decomposition, the combining
// accents U+0300–U+036F dropped, lower case, final sigma as sigma) and split at every
// character that is no letter, mark or digit; a Chinese or Japanese character is a word
// of its own, as those scripts put no spaces between words. The words go into buckets
// by their first two UTF-16 units, so that a search for a word, or for the start of one,
// loads a single bucket.
class ArchiveWordIndex
{
public:
    // Longer words are cut to this many UTF-16 units, here and in the search code.
    static constexpr qsizetype MaxWordUnits = 32;

    // The words of text, for the next message: the first added is message 0.
    void add(QStringView text);

    // How many buckets suit the words added so far (each near a tenth of a megabyte).
    int suitableBuckets() const;
    // The bucket of a word: FNV-1a over its first two UTF-16 units, as the search code
    // computes it.
    static int bucketOf(QStringView word, int buckets);
    // The buckets as JSON objects, word → the ascending ranks of the messages that hold it,
    // in base 36, each after the first as its distance to the one before; byRank lists the
    // message numbers from rank 0 on.
    QList<QByteArray> bucketsJson(const std::vector<qint32>& byRank, int buckets) const;

private:
    // The next UTF-16 unit of the word being read; a word is cut to its first MaxWordUnits.
    void put(char16_t unit)
    {
        if (m_wordUnits < MaxWordUnits)
            m_word[m_wordUnits] = unit;
        ++m_wordUnits;
    }
    void putCodePoint(char32_t c);
    void endWord();
    // The number of word, a new one when it is new.
    qint32 wordId(QStringView word);
    void growSlots();

    std::deque<QString> m_words;          // every distinct word
    std::vector<quint32> m_hashes;        // of each word, FNV-1a over its UTF-16 units
    std::vector<qint32> m_slots;          // word numbers by hash, open addressing; -1 is free
    std::vector<qint32> m_lastMessage;    // of each word, so that a message lists it once
    std::vector<qint32> m_messageWords;   // the words of each message, one after the other
    std::vector<qsizetype> m_messageEnds; // where each message's words end; its size numbers the next
    char16_t m_word[MaxWordUnits];        // the word being read, as far as it is kept
    qsizetype m_wordUnits = 0;            // its length, uncut
};
