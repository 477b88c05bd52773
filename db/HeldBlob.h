#pragma once

#include <QByteArray>
#include <QtGlobal>

// The extra-column blob a record holds (BlobCodec's held form). A load keeps hundreds of
// thousands, and most are a few bytes (a row's flags and ids), which as a QByteArray
// would each take a heap allocation of 32 bytes or more besides the 24 in the record. So
// a blob of up to 15 bytes lives inside the record itself, in 16 bytes; a longer one in
// an allocation of its exact size, which copies share. Of a synthetic phone's 190,655
// blobs, 154,535 are 8 to 15 bytes long, 2,318 are 16 to 19, and the rest over 40.
//
// Reads hand out a copy (bytes()), never a reference into the record: a record may go
// while what was read from it is still in use.
class HeldBlob
{
public:
    static constexpr qsizetype InlineCapacity = 15;

    HeldBlob() = default;
    // Implicit, so that a reader fills a record by assigning the blob it made.
    HeldBlob(const QByteArray& bytes); // NOLINT(google-explicit-constructor)
    HeldBlob(const HeldBlob& other);
    HeldBlob(HeldBlob&& other) noexcept;
    HeldBlob& operator=(const HeldBlob& other);
    HeldBlob& operator=(HeldBlob&& other) noexcept;
    ~HeldBlob();

    // A blob is held on the heap only when it is longer than the record's room.
    bool isEmpty() const { return m_size == 0; }
    qsizetype size() const;
    QByteArray bytes() const;
    // Whether the two hold one allocation between them (a long blob copied, not made
    // twice); always false for blobs held inside the record.
    bool sharesStorageWith(const HeldBlob& other) const;
    // The allocation behind a long blob, null for one held inside the record: what memory
    // accounting counts, once however many records share it.
    const void* storage() const;

    friend bool operator==(const HeldBlob& a, const HeldBlob& b);

private:
    struct Shared;
    static constexpr quint8 OnHeap = 0xff;

    Shared* shared() const;
    void setShared(Shared* shared);
    const char* data() const;
    void release() noexcept;
    void takeFrom(HeldBlob& other) noexcept;

    alignas(void*) char m_bytes[InlineCapacity] = {};
    quint8 m_size = 0; // the length of a blob held inside, or OnHeap
};
