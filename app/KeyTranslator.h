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
    QString translate(const char* context, const char* sourceText, const char* disambiguation = nullptr,
                      int n = -1) const override;
};
