#pragma once

#include <QByteArray>
#include <QString>

#include <memory>

// A password or key in memory of its own that is overwritten when it goes: moved, never
// copied by accident, never grown (a grown buffer would leave the old one behind).
class SecretBytes
{
public:
    SecretBytes() = default;
    explicit SecretBytes(qsizetype size); // zeros
    SecretBytes(const void* data, qsizetype size);
    // The password as the phone takes it, UTF-8. The QString itself is the caller's.
    static SecretBytes fromUtf8(const QString& text);
    ~SecretBytes();
    SecretBytes(SecretBytes&& other) noexcept;
    SecretBytes& operator=(SecretBytes&& other) noexcept;
    SecretBytes(const SecretBytes&) = delete;
    SecretBytes& operator=(const SecretBytes&) = delete;

    SecretBytes clone() const { return SecretBytes(m_data.get(), m_size); }
    unsigned char* data() { return m_data.get(); }
    const unsigned char* data() const { return m_data.get(); }
    qsizetype size() const { return m_size; }
    bool isEmpty() const { return m_size == 0; }
    // A copy outside the wiped memory, for comparisons in tests only.
    QByteArray exposed() const { return QByteArray(reinterpret_cast<const char*>(m_data.get()), m_size); }

private:
    void wipe();

    std::unique_ptr<unsigned char[]> m_data;
    qsizetype m_size = 0;
};
