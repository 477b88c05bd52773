#pragma once

#include <QString>

#include <memory>

// A text that most records leave empty (the address of a shared location), in the room
// of one pointer instead of a QString's three: a load keeps hundreds of thousands of
// records, and only a set text takes memory beyond the pointer.
class RareText
{
public:
    RareText() = default;
    RareText(const QString& text) { *this = text; }
    RareText(const RareText& other) : RareText(other.text()) {}
    RareText(RareText&&) noexcept = default;
    RareText& operator=(const RareText& other) { return *this = other.text(); }
    RareText& operator=(RareText&&) noexcept = default;
    ~RareText() = default;

    RareText& operator=(const QString& text)
    {
        m_text = text.isEmpty() ? nullptr : std::make_unique<QString>(text);
        return *this;
    }

    QString text() const { return m_text ? *m_text : QString(); }
    operator QString() const { return text(); }
    bool isEmpty() const { return !m_text; }

    friend bool operator==(const RareText& a, const QString& b) { return a.text() == b; }

private:
    std::unique_ptr<QString> m_text;
};
