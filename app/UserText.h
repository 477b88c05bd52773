#pragma once

#include <QMetaType>
#include <QString>

// A text meant for the user, together with its kind. Plain text is shown as it stands:
// a file name "a<b>.txt" stays a file name. Rich text is Qt's HTML subset, written as
// markup by the code that builds it (line breaks, a help link, a picture of the phone's
// screen). Whoever shows the text asks its kind; nothing decides the kind by looking for
// tags in the text, and nothing escapes a text on the chance that it might be markup.
class UserText
{
public:
    enum class Kind { Plain, Rich };

    UserText() = default;
    static UserText plain(const QString& text) { return UserText(Kind::Plain, text); }
    static UserText rich(const QString& html) { return UserText(Kind::Rich, html); }

    Kind kind() const { return m_kind; }
    bool isRich() const { return m_kind == Kind::Rich; }
    bool isEmpty() const { return m_text.isEmpty(); }
    // The text as it was given: plain text, or markup for a rich one.
    const QString& text() const { return m_text; }

    // For a console or a log: line breaks for <br/> and paragraph ends, a link as
    // "text <url>", a picture as its alt text (none without one), other tags dropped and
    // entities decoded. A plain text comes back unchanged.
    QString toPlainText() const;
    // For a rich-text view: a plain text escaped as element content ("&", "<", ">") with
    // its line breaks kept, a rich one as it is.
    QString toHtml() const;

    // The two texts one after the other. A plain part joined to a rich one is escaped,
    // so that a file name or an exception's message stays text inside the markup.
    UserText operator+(const UserText& other) const;
    UserText& operator+=(const UserText& other) { return *this = *this + other; }

    bool operator==(const UserText& other) const = default;

private:
    UserText(Kind kind, const QString& text) : m_kind(kind), m_text(text) {}

    Kind m_kind = Kind::Plain;
    QString m_text;
};

Q_DECLARE_METATYPE(UserText)
