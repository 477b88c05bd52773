#pragma once

#include <QTranslator>

// Texts are looked up by key ("IDS_..."). Most keys mean the same everywhere, so the
// translation keeps them once in a shared context; a key that reads differently in
// one class has an entry in that class's context, which wins.
class KeyTranslator : public QTranslator
{
    Q_OBJECT
public:
    static constexpr auto SharedContext = "Velliport";

    using QTranslator::QTranslator;
    // The text of key in the shared context, from whichever translator is installed.
    static QString text(const char* key);
    QString translate(const char* context, const char* sourceText, const char* disambiguation = nullptr,
                      int n = -1) const override;
};
